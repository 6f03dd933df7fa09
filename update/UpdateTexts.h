#pragma once
#include "resource.h"  // the question's caption, shared with the download window
// What the update shows the user and the names it uses on the server and on disk. The texts are
// literals, so that each stays where the compiler has always put it.

#define QUOREL_QUESTION_BEFORE "新版本 "  // the server's version follows
#define QUOREL_QUESTION_AFTER " 现在可用，是否下载更新？"
#define QUOREL_SUCCESS_CAPTION "更新成功！"
#define QUOREL_SUCCESS_TEXT "更新成功！是否立刻重新启动程序以使更新生效？"
#define QUOREL_FAILURE_CAPTION "更新失败！"
#define QUOREL_FAILURE_BEFORE "对不起，更新失败！请手动至"  // the maker's home page follows
#define QUOREL_FAILURE_AFTER "下载更新程序。"

// Each file that uses one gets its own copy, as when each was a constant of that file alone.
namespace {
const char kAgentName[] = "AutoUpdateAgent";
const char kVersionFileName[] = "update.txt";
const char kBackupName[] = "OldExecutable.bak";
}  // namespace

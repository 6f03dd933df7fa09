#pragma once
// What the update shows the user and the names it uses on the server and on disk.

const char kQuestionCaption[] = "有新版更新";
const char kQuestionBefore[] = "新版本 ";  // the server's version follows
const char kQuestionAfter[] = " 现在可用，是否下载更新？";
const char kSuccessCaption[] = "更新成功！";
const char kSuccessText[] = "更新成功！是否立刻重新启动程序以使更新生效？";
const char kFailureCaption[] = "更新失败！";
const char kFailureBefore[] = "对不起，更新失败！请手动至";  // the maker's home page follows
const char kFailureAfter[] = "下载更新程序。";

const char kAgentName[] = "AutoUpdateAgent";
const char kVersionFileName[] = "update.txt";
const char kBackupName[] = "OldExecutable.bak";

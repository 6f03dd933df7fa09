#include "update/ReleaseRule.h"

#include "update/PeImage.h"
#include "update/Publisher.h"
#include "update/UpdateAgent.h"
#include "update/UpdateLog.h"
#include "update/Versions.h"

namespace {

#ifdef _WIN64
const WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#else
const WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif

}  // namespace

const char* RefusedRule(HANDLE file, const char* filePath, const char* offeredVersion, const char* runningPath,
                        CString* fileVersion)
{
    PeFacts facts;
    const bool read = ReadPeFacts(file, facts);
    const CString version = facts.hasVersion ? FullVersionText(facts.versionMS, facts.versionLS) : CString("none");
    const char* rule = nullptr;
    if (read && facts.isProgram && facts.machine != kOwnMachine)
        rule = "machine";
    else if (!read || !facts.whole)
        rule = "whole";
    else if (!facts.hasVersion || g_updateAgent.CompareVersionText(version, offeredVersion) != 0)
        rule = "version";
    else if (!MayReplace(runningPath, filePath, file))
        rule = "publisher";
    LogUpdate("judged", "version %s, machine %04x, offered %s: %s%s", static_cast<const char*>(version), facts.machine,
              offeredVersion, rule ? "refused, rule: " : "accepted", rule ? rule : "");
    if (fileVersion)
        *fileVersion = version;
    return rule;
}

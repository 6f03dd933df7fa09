#include "framework/AfxPath.h"

bool ComposePath(char* dest, int destSize, const char* first, const char* second, const char* third, const char* fourth)
{
    if (destSize <= 0) {
        return false;
    }
    dest[0] = '\0';
    const char* parts[] = {first, second, third, fourth};
    int used = 0;
    for (const char* part : parts) {
        if (part == nullptr) {
            continue;
        }
        const int length = lstrlenA(part);
        if (length >= destSize - used) {
            dest[0] = '\0';
            return false;
        }
        CopyMemory(dest + used, part, length);
        used += length;
        dest[used] = '\0';
    }
    return true;
}

const char* FindLastBackslash(const char* path)
{
    const char* last = nullptr;
    for (const char* p = path; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\') {
            last = p;
        }
    }
    return last;
}

bool SplitProgramPath(const char* path, char* folder, int folderSize, char* name, int nameSize)
{
    ZeroMemory(folder, folderSize);
    ZeroMemory(name, nameSize);
    const char* backslash = FindLastBackslash(path);
    const char* namePart = backslash != nullptr ? backslash + 1 : path;
    const int folderLength = static_cast<int>(namePart - path);
    if (folderLength >= folderSize || lstrlenA(namePart) >= nameSize) {
        return false;
    }
    lstrcpynA(name, namePart, nameSize);
    lstrcpynA(folder, path, folderLength + 1);
    return true;
}

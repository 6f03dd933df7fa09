#pragma once
// Where the installed copy and its shortcuts live, and what they are called.

// Appended to the common application-data folder; the install folder ends with a backslash.
const char kInstallSubFolder[] = "\\Quorelware\\";
// The installed copy always bears this name, whatever the running file is called.
const char kInstalledExeName[] = "Quorel.exe";

// Every shortcut and program group carries a space before the product name.
const char kShortcutFileName[] = " Zelmora.lnk";
const char kShortcutName[] = " Zelmora";
const char kShortcutExtension[] = ".lnk";
const char kGroupFolder[] = "\\ Zelmora\\";
const char kLinkInFolder[] = "\\ Zelmora.lnk";
const char kLinkInGroup[] = "\\ Zelmora\\ Zelmora.lnk";
const char kLinkInQuickLaunch[] = "\\Microsoft\\Internet Explorer\\Quick Launch\\ Zelmora.lnk";

// Shortcut composition works in buffers of this many bytes.
const int kShortcutPathSize = 1024;

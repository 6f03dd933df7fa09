#pragma once
// Where the installed copy and its shortcuts live, and what they are called.
// Inline: one copy of each name in the program, however many files use it.

// Appended to the common application-data folder; the install folder ends with a backslash.
inline constexpr char kInstallSubFolder[] = "\\Quorelware\\";
// The installed copy always bears this name, whatever the running file is called.
inline constexpr char kInstalledExeName[] = "Quorel.exe";

// Every shortcut and program group carries a space before the product name.
inline constexpr char kShortcutFileName[] = " Zelmora.lnk";
inline constexpr char kShortcutName[] = " Zelmora";
inline constexpr char kShortcutExtension[] = ".lnk";
inline constexpr char kGroupFolder[] = "\\ Zelmora\\";
inline constexpr char kLinkInFolder[] = "\\ Zelmora.lnk";
inline constexpr char kLinkInGroup[] = "\\ Zelmora\\ Zelmora.lnk";
inline constexpr char kLinkInQuickLaunch[] = "\\Microsoft\\Internet Explorer\\Quick Launch\\ Zelmora.lnk";

// Shortcut composition works in buffers of this many bytes.
inline constexpr int kShortcutPathSize = 1024;

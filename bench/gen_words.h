// The vocabulary of the tree generator: the words, names and fragments real registries are made of.
// None of them (and no combination the generator makes) holds the letters "klq" in a row, so the
// needle and the absent text of gen.h never occur by chance.
#pragma once

#include <array>
#include <string_view>

namespace keyloom::bench::words {

// Syllables of made-up company and product names.
inline constexpr std::array<std::string_view, 40> kSyllables = {
    "ab", "ar",  "bel", "bra", "cor", "da", "del", "en", "fa",  "gen", "ha", "in", "ja",  "ko",
    "la", "lu",  "ma",  "mi",  "nor", "no", "or",  "pa", "pro", "ra",  "ri", "sa", "sen", "so",
    "ta", "tek", "tri", "ul",  "va",  "ve", "vi",  "wa", "xe",  "ze",  "on", "is"};

inline constexpr std::array<std::string_view, 10> kCompanySuffixes = {
    " Software", " Corporation",  " Systems", " Labs",        " Inc.",
    " GmbH",     " Technologies", " Media",   " Interactive", " Networks"};

// Names of keys below a product.
inline constexpr std::array<std::string_view, 64> kKeyWords = {
    "Settings",    "Options",      "Preferences",  "CurrentVersion",  "Components", "Plugins",
    "Extensions",  "Profiles",     "Policies",     "Services",        "Parameters", "Install",
    "Uninstall",   "Capabilities", "Features",     "Recent",          "History",    "Cache",
    "Config",      "Display",      "Network",      "Security",        "Updates",    "Licenses",
    "Shell",       "Explorer",     "Windows",      "Devices",         "Drivers",    "Fonts",
    "Printers",    "Media",        "Audio",        "Video",           "Search",     "Sync",
    "Telemetry",   "Logging",      "Defaults",     "Toolbars",        "Layout",     "Accounts",
    "Connections", "Proxy",        "Certificates", "Themes",          "Languages",  "Keyboard",
    "Mouse",       "Startup",      "Run",          "RunOnce",         "AppPaths",   "Setup",
    "Common",      "Shared",       "User",         "Machine",         "Session",    "Storage",
    "Performance", "Diagnostics",  "Registration", "FileAssociations"};

// Subkeys of a class registration.
inline constexpr std::array<std::string_view, 12> kClassSubkeys = {
    "InprocServer32",   "LocalServer32",
    "ProgID",           "VersionIndependentProgID",
    "TypeLib",          "Implemented Categories",
    "Version",          "ToolboxBitmap32",
    "ProxyStubClsid32", "FLAGS",
    "HELPDIR",          "DefaultIcon"};

inline constexpr std::array<std::string_view, 24> kFileExtensions = {
    "txt", "log", "ini", "xml", "json", "doc", "docx", "xls",  "pdf", "png", "jpg", "gif",
    "mp3", "mp4", "avi", "zip", "rar",  "7z",  "htm",  "html", "css", "js",  "bat", "cmd"};

inline constexpr std::array<std::string_view, 56> kValueNames = {"DisplayName",
                                                                 "DisplayVersion",
                                                                 "Publisher",
                                                                 "InstallLocation",
                                                                 "InstallDate",
                                                                 "UninstallString",
                                                                 "Version",
                                                                 "Path",
                                                                 "Enabled",
                                                                 "Flags",
                                                                 "Type",
                                                                 "Start",
                                                                 "ErrorControl",
                                                                 "ImagePath",
                                                                 "Description",
                                                                 "Language",
                                                                 "LastUsed",
                                                                 "WindowPos",
                                                                 "MRUList",
                                                                 "Count",
                                                                 "Timeout",
                                                                 "Server",
                                                                 "Port",
                                                                 "UserName",
                                                                 "Theme",
                                                                 "FontSize",
                                                                 "FontName",
                                                                 "Height",
                                                                 "Width",
                                                                 "Left",
                                                                 "Top",
                                                                 "Maximized",
                                                                 "ShowToolbar",
                                                                 "AutoUpdate",
                                                                 "LastCheck",
                                                                 "InstallPath",
                                                                 "DataPath",
                                                                 "TempPath",
                                                                 "LogLevel",
                                                                 "LicenseKey",
                                                                 "Edition",
                                                                 "Build",
                                                                 "Channel",
                                                                 "Locale",
                                                                 "ThreadingModel",
                                                                 "AppID",
                                                                 "Icon",
                                                                 "Command",
                                                                 "Arguments",
                                                                 "WorkingDirectory",
                                                                 "EstimatedSize",
                                                                 "NoModify",
                                                                 "NoRepair",
                                                                 "HelpLink",
                                                                 "URLInfoAbout",
                                                                 "Contact"};

inline constexpr std::array<std::string_view, 64> kTextWords = {
    "the",       "settings",  "file",      "open",     "data",     "user",    "system",  "service",
    "driver",    "update",    "version",   "install",  "network",  "display", "default", "windows",
    "program",   "folder",    "document",  "library",  "server",   "client",  "manager", "runtime",
    "framework", "component", "extension", "handler",  "provider", "control", "panel",   "device",
    "printer",   "audio",     "video",     "image",    "viewer",   "editor",  "player",  "browser",
    "engine",    "module",    "security",  "account",  "profile",  "session", "cache",   "history",
    "backup",    "restore",   "sync",      "cloud",    "storage",  "local",   "remote",  "helper",
    "agent",     "monitor",   "scanner",   "launcher", "toolbar",  "shell",   "common",  "shared"};

inline constexpr std::array<std::string_view, 8> kFileSuffixes = {".exe", ".dll", ".sys", ".ocx",
                                                                  ".cpl", ".ico", ".dat", ".cfg"};

inline constexpr std::array<std::string_view, 8> kExpandRoots = {"%SystemRoot%\\System32\\",
                                                                 "%SystemRoot%\\",
                                                                 "%ProgramFiles%\\",
                                                                 "%ProgramFiles(x86)%\\",
                                                                 "%CommonProgramFiles%\\",
                                                                 "%USERPROFILE%\\AppData\\Local\\",
                                                                 "%APPDATA%\\",
                                                                 "%TEMP%\\"};

inline constexpr std::array<std::string_view, 6> kPathRoots = {
    "C:\\Program Files\\", "C:\\Program Files (x86)\\",      "C:\\Windows\\System32\\",
    "C:\\ProgramData\\",   "C:\\Users\\Public\\Documents\\", "D:\\Apps\\"};

// Words outside ASCII: accented Latin, Greek, Cyrillic, CJK, Korean, and one outside the Basic
// Multilingual Plane (a surrogate pair in UTF-16).
inline constexpr std::array<std::string_view, 16> kNonAsciiWords = {
    "Café",     "Größe",  "Straße", "München", "naïve",  "Åsa", "Łódź",  "İstanbul",
    "Ελληνικά", "Привет", "日本語", "中文",    "한국어", "Ærø", "Señal", "Notiz📝"};

}  // namespace keyloom::bench::words

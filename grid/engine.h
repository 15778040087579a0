#pragma once

// The grid database folder: how the folder text becomes a prefix of table
// paths, where those paths live on this machine, and the state a load leaves
// for a later shift.

#include <cstdint>
#include <string>
#include <vector>

namespace grid {

inline constexpr const char* kGridTable = "AdvSetBlk.db";
inline constexpr const char* kFillingTable = "AdvBlock.db";
// The shift's rollback journal, kept beside the tables.
inline constexpr const char* kJournalName = "gridshift.jnl";

// The folder text with one backslash appended unless it is empty or already
// ends in one. Nothing else changes: blanks and forward slashes stay.
std::string SlashedPath(const std::string& text);

// What a load leaves behind, one instance for the program.
struct Engine {
    std::string BaseFolder;             // prefix of the last load attempt
    std::vector<std::uint16_t> Minutes; // distinct block minutes of the last completed load, ascending
    std::uint16_t OldMinute = 0;        // the minute selected in the list
    bool busy = false;                  // a load or shift is running

    // BaseFolder followed directly by the file name.
    std::string tablePath(const char* fileName) const { return BaseFolder + fileName; }
};

// The file of this machine that a Windows-style table path names. On Windows
// the path itself. Elsewhere backslashes separate folders, a drive letter
// "X:" is the Wine prefix's dosdevices/x: folder ($WINEPREFIX, else ~/.wine),
// a relative path starts from the current folder, and each component matches
// an existing name without regard to letter case.
std::string hostPath(const std::string& windowsPath);

// Whether a file exists at the Windows-style path.
bool fileExists(const std::string& windowsPath);

// The folder of this machine that a folder prefix (as SlashedPath makes it)
// names, with its trailing separator; empty for the current folder.
std::string hostFolder(const std::string& prefix);

// The folder of a prefix as the user typed it, without the backslash that
// SlashedPath put after it; empty for the current folder.
std::string folderAsTyped(const std::string& prefix);

// A file of the folder named as the user would write it: the folder as typed
// and the name, joined by this system's separator (a backslash where the
// folder was typed with backslashes).
std::string pathAsTyped(const std::string& prefix, const std::string& name);

// The message with every file of the folder that `windowsPath` lies in named
// as the user knows it (C:\Kalvora\AdvSetBlk.PX) rather than as this
// machine finds it (.../dosdevices/c:/Kalvora/AdvSetBlk.PX).
std::string userPaths(const std::string& message, const std::string& windowsPath);

} // namespace grid

#pragma once

#include "winapp/window.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace winapp {

// A drive the folder dialog offers.
struct Drive {
    std::wstring name; // as listed: "c:"
    std::wstring root; // "C:\"
};

// The folder dialog's walk through the folders. Every folder it opens
// becomes the process's current folder at once, which is what a bare table
// name resolves against. Each drive remembers the folder last opened on it
// during the run.
class FolderWalk {
public:
    FolderWalk();

    const std::vector<Drive>& drives() const { return m_drives; }
    // Lists the drives again, as after a network drive was connected.
    void readDrives();

    // The folder the dialog starts in for the field's text: the folder the
    // text names, when it exists; for a drive's top ("C:\" or "C:") that
    // drive's current folder; for an empty text `lastChosen` when it still
    // exists; otherwise the current folder.
    std::wstring startFolder(const std::wstring& text, const std::wstring& lastChosen) const;

    // Opens the folder and makes it the process's current folder. False, with
    // nothing changed, when it is no folder or cannot be made current.
    bool open(const std::wstring& folder);
    // Opens the drive's current folder: the process's current folder when
    // that is on the drive, else the folder last opened there if it still
    // exists, else the drive's top.
    bool openDrive(int index);

    // The open folder, as the folder field writes it: a drive's top with its
    // backslash ("C:\"), any other folder without one.
    const std::wstring& folder() const { return m_folder; }
    // -1 when the open folder is on no listed drive.
    int driveIndex() const;

    // The open folder's path, its top first and the open folder last.
    struct Step {
        std::wstring name;
        std::wstring folder;
    };
    std::vector<Step> path() const;
    // Names of the open folder's sub-folders and files, hidden ones left out,
    // sorted without regard to letter case.
    std::vector<std::wstring> subFolders() const;
    std::vector<std::wstring> files() const;

private:
    std::wstring driveCurrentFolder(const std::wstring& root) const;

    std::vector<Drive> m_drives;
    std::wstring m_folder;
};

// The full path of an existing folder, written as folder() writes it; empty
// when there is none.
std::wstring existingFolder(const std::wstring& path);

// Shows the "Select Directory" dialog modally over `owner`, starting where
// FolderWalk says for `text`. Returns the open folder on "OK", nothing on
// "Cancel". The folders it opened stay current either way.
std::optional<std::wstring> selectDirectory(HWND owner, const std::wstring& text, const std::wstring& lastChosen);

// Whether the system has a dialog for connecting a network drive (mpr.dll's,
// looked for at run time), or a test put one in its place.
bool networkDialogOffered();
// Shows that dialog modally over `owner`; false where there is none.
bool connectNetworkDrive(HWND owner);
// An empty function restores the system's dialog.
void setNetworkDialog(std::function<void(HWND)> dialog);

inline constexpr const wchar_t* kSelectDirectoryTitle = L"Select Directory";
// The dialog's controls, for tests to find.
enum SelectDirectoryControl {
    kDirLabelId = 101,
    kDirListId,
    kFileListId,
    kDriveComboId,
    kNetworkId,
};

} // namespace winapp

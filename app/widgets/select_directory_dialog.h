#pragma once

#include "app/widgets/folder_navigator.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QKeyEvent;
class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace app {

class PathLabel;

// The "Select Directory" dialog: the open folder's path and sub-folders, its
// files for information, the drives, "OK" and "Cancel". It only picks a
// folder; the caller decides what "OK" means. Each folder it opens becomes
// the process's current folder at once and stays so after it closes.
//
// Inner controls carry object names for tests: "DirLabel", "DirList",
// "FileList", "DriveCombo", "OKButton", "CancelButton", "NetworkButton".
class SelectDirectoryDialog : public QDialog {
    Q_OBJECT

public:
    // Opens `startFolder` at once; when that fails, the current folder.
    SelectDirectoryDialog(FolderNavigator navigator, const QString& startFolder, QWidget* parent = nullptr);
    ~SelectDirectoryDialog() override;

    // The open folder (canonical), not whatever the list highlights.
    QString folder() const { return m_navigator.folder(); }
    // The open folder as the folder field writes it.
    QString folderText() const { return m_navigator.text(); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openFolder(const QString& folder);
    void openDrive(int index);
    void showFolder();

    FolderNavigator m_navigator;
    PathLabel* m_dirLabel;
    QTreeWidget* m_dirList;
    QListWidget* m_fileList;
    QComboBox* m_driveCombo;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
    QPushButton* m_networkButton;
};

} // namespace app

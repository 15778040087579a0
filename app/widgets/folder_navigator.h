#pragma once

// The rules of the folder dialog without its widgets: where it starts, what
// opening a folder does to the process, and the text a folder gets in the
// folder field.

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

namespace app {

// A drive the dialog offers: a drive letter (on Windows, or a Wine prefix's
// drive elsewhere) or a mount point.
struct Drive {
    QString name; // as listed: "c:" or the mount point
    QString root; // the drive's top folder on this machine, canonical
    QChar letter; // upper-case drive letter; null for a mount point
};

// The drives of this machine. On Windows its drive letters. Elsewhere the
// Wine prefix's drives that exist (the prefix that table paths map into),
// then the mount points of real file systems, "/" always among them.
QList<Drive> availableDrives();

// The text a folder is written as in the folder field: a folder on a
// lettered drive as "C:\Kalvora" (the drive's top folder as "C:\"), any
// other as its path on this machine ("/srv/grid", the file system's root as
// "/"). `folder` is canonical.
QString folderText(const QString& folder, const QList<Drive>& drives);

// Index of the drive holding the canonical `folder`: the one with the
// longest root above it. On a tie a lettered drive wins, except at "/":
// a drive letter for the whole file system (Wine's usual z:) would make
// every path a Windows-style one. -1 when no drive holds it.
int driveOf(const QString& folder, const QList<Drive>& drives);

// The process's current folder, canonical; the home folder, else "/", when
// the current one is gone.
QString currentFolder();

// One folder dialog's walk through the folders. Every folder it opens
// becomes the process's current folder at once, which is what a bare table
// name resolves against. Each drive remembers the folder last opened on it
// during the run, as Windows keeps a current folder per drive.
class FolderNavigator {
public:
    explicit FolderNavigator(QList<Drive> drives);

    const QList<Drive>& drives() const { return m_drives; }

    // The folder the dialog starts in for the field's text: the folder the
    // text names, resolved as a table path is, when it exists; for a drive's
    // top ("C:\" or "C:") that drive's current folder; for an empty text
    // `lastChosen` when it still exists; otherwise the current folder.
    QString startFolder(const QString& text, const QString& lastChosen) const;

    // Opens the folder and makes it the process's current folder. False, with
    // nothing changed, when it is no folder or cannot be made current.
    bool open(const QString& folder);
    // Opens the drive's current folder: the process's current folder when
    // that is on the drive, else the folder last opened there if it still
    // exists, else the drive's top folder.
    bool openDrive(int index);
    QString driveCurrentFolder(int index) const;

    // The open folder, canonical; empty until one is opened.
    QString folder() const { return m_folder; }
    QString text() const { return folderText(m_folder, m_drives); }
    int driveIndex() const { return driveOf(m_folder, m_drives); }

    // A folder on the open folder's path, root first and the open folder
    // last, named as the list shows it.
    struct Step {
        QString name;
        QString folder;
    };
    QList<Step> path() const;
    // Names of the open folder's sub-folders and files, hidden ones left out,
    // sorted without regard to letter case.
    QStringList subFolders() const;
    QStringList files() const;

private:
    QList<Drive> m_drives;
    QString m_folder;
};

} // namespace app

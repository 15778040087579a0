#include "app/widgets/folder_navigator.h"

#include "grid/engine.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStorageInfo>

#include <algorithm>
#include <string>
#include <utility>

namespace app {
namespace {

// Drive root -> folder last opened on that drive, for the whole run.
QHash<QString, QString>& driveFolders()
{
    static QHash<QString, QString> folders;
    return folders;
}

QString existingFolder(const QString& path)
{
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    return info.isDir() ? info.canonicalFilePath() : QString();
}

bool isUnder(const QString& folder, const QString& root)
{
    if (folder == root)
        return true;
    if (root.endsWith(u'/'))
        return folder.startsWith(root);
    return folder.startsWith(root) && folder.at(root.size()) == u'/';
}

// "C:", "C:\" or "C:/": a drive with no folder named.
bool isDriveTop(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z]:[\\\\/]?$"));
    return pattern.match(text).hasMatch();
}

QString relativeToRoot(const QString& folder, const QString& root)
{
    QString rest = folder.mid(root.size());
    while (rest.startsWith(u'/'))
        rest.remove(0, 1);
    return rest;
}

} // namespace

QList<Drive> availableDrives()
{
    QList<Drive> drives;
#if defined(Q_OS_WIN)
    for (const QFileInfo& info : QDir::drives()) {
        const QString root = info.absoluteFilePath();
        drives.append({root.left(2).toLower(), root, root.at(0).toUpper()});
    }
#else
    // The same mapping as table paths take, so "C:\Kalvora" written here
    // loads from the folder the dialog showed.
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const std::string top{letter, ':'};
        const QString root = existingFolder(QString::fromStdString(grid::hostPath(top)));
        if (!root.isEmpty())
            drives.append({QString::fromStdString(top), root, QChar(letter).toUpper()});
    }
    QStringList mounts{QStringLiteral("/")};
    // mountedVolumes() already leaves out /proc, /sys and the like.
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = existingFolder(volume.rootPath());
        if (volume.isValid() && !root.isEmpty())
            mounts.append(root);
    }
    mounts.sort();
    mounts.removeDuplicates();
    for (const QString& root : std::as_const(mounts))
        drives.append({root, root, QChar()});
#endif
    return drives;
}

int driveOf(const QString& folder, const QList<Drive>& drives)
{
    const auto preferredOnTie = [](const Drive& drive) {
        return drive.root == QLatin1String("/") ? drive.letter.isNull() : !drive.letter.isNull();
    };
    int best = -1;
    for (int i = 0; i < drives.size(); ++i) {
        const Drive& drive = drives[i];
        if (folder.isEmpty() || !isUnder(folder, drive.root))
            continue;
        if (best < 0 || drive.root.size() > drives[best].root.size() ||
            (drive.root.size() == drives[best].root.size() && preferredOnTie(drive) &&
             !preferredOnTie(drives[best])))
            best = i;
    }
    return best;
}

QString folderText(const QString& folder, const QList<Drive>& drives)
{
    const int index = driveOf(folder, drives);
    if (index < 0 || drives[index].letter.isNull())
        return QDir::toNativeSeparators(folder);
    // Windows-style, the form the station's folder texts take; table paths
    // map it back to the same folder.
    const Drive& drive = drives[index];
    QString text = QString(drive.letter) + QStringLiteral(":\\");
    return text + relativeToRoot(folder, drive.root).replace(u'/', u'\\');
}

QString currentFolder()
{
    for (const QString& candidate : {QDir::currentPath(), QDir::homePath()}) {
        const QString folder = existingFolder(candidate);
        if (!folder.isEmpty())
            return folder;
    }
    return QDir::rootPath();
}

FolderNavigator::FolderNavigator(QList<Drive> drives) : m_drives(std::move(drives)) {}

QString FolderNavigator::startFolder(const QString& text, const QString& lastChosen) const
{
    if (text.isEmpty()) {
        const QString last = existingFolder(lastChosen);
        return last.isEmpty() ? currentFolder() : last;
    }
    if (isDriveTop(text)) {
        const QChar letter = text.at(0).toUpper();
        for (int i = 0; i < m_drives.size(); ++i) {
            if (m_drives[i].letter == letter)
                return driveCurrentFolder(i);
        }
    }
    const QString named = existingFolder(QString::fromStdString(grid::hostPath(text.toStdString())));
    return named.isEmpty() ? currentFolder() : named;
}

bool FolderNavigator::open(const QString& folder)
{
    const QString canonical = existingFolder(folder);
    if (canonical.isEmpty() || !QDir::setCurrent(canonical))
        return false;
    m_folder = canonical;
    const int drive = driveIndex();
    if (drive >= 0)
        driveFolders().insert(m_drives[drive].root, canonical);
    return true;
}

bool FolderNavigator::openDrive(int index)
{
    return index >= 0 && index < m_drives.size() && open(driveCurrentFolder(index));
}

QString FolderNavigator::driveCurrentFolder(int index) const
{
    const QString& root = m_drives.at(index).root;
    const auto onDrive = [&](const QString& folder) {
        const int drive = driveOf(folder, m_drives);
        return drive >= 0 && m_drives[drive].root == root;
    };
    const QString current = currentFolder();
    if (onDrive(current))
        return current;
    const QString last = existingFolder(driveFolders().value(root));
    if (!last.isEmpty() && onDrive(last))
        return last;
    return root;
}

QList<FolderNavigator::Step> FolderNavigator::path() const
{
    if (m_folder.isEmpty())
        return {};
    const int index = driveIndex();
    QString top = QDir::rootPath();
    QString topName = QDir::toNativeSeparators(top);
    if (index >= 0 && !m_drives[index].letter.isNull()) {
        top = m_drives[index].root;
        topName = QString(m_drives[index].letter) + QStringLiteral(":\\");
    }
    QList<Step> steps{{topName, top}};
    QString folder = top;
    const QStringList names = relativeToRoot(m_folder, top).split(u'/', Qt::SkipEmptyParts);
    for (const QString& name : names) {
        if (!folder.endsWith(u'/'))
            folder += u'/';
        folder += name;
        steps.append({name, folder});
    }
    return steps;
}

QStringList FolderNavigator::subFolders() const
{
    if (m_folder.isEmpty())
        return {};
    return QDir(m_folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

QStringList FolderNavigator::files() const
{
    if (m_folder.isEmpty())
        return {};
    return QDir(m_folder).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
}

} // namespace app

#include "app/widgets/folder_navigator.h"

#include "folder_fixture.h"
#include "grid/engine.h"

#include <gtest/gtest.h>

namespace app {
namespace {

class FolderNavigatorTest : public testing::FolderTest {
protected:
    void SetUp() override
    {
        FolderTest::SetUp();
        grid = makeFolder(QStringLiteral("srv/Grid"));
        driveC = makeWineDrive('c', makeFolder(QStringLiteral("prefix/drive_c")));
        kalvora = makeFolder(QStringLiteral("prefix/drive_c/Kalvora"));
        sub = makeFolder(QStringLiteral("prefix/drive_c/Kalvora/Sub"));
        drives = {{QStringLiteral("c:"), driveC, u'C'}, {QStringLiteral("/"), QStringLiteral("/"), QChar()}};
        ASSERT_TRUE(QDir::setCurrent(root()));
    }

    QString grid, driveC, kalvora, sub;
    QList<Drive> drives;
};

TEST_F(FolderNavigatorTest, StartFolder)
{
    makeFile(QStringLiteral("AdvSetBlk.db"));
    const FolderNavigator navigator(drives);
    const struct {
        QString text, lastChosen, start;
    } cases[] = {
        // The folder the text names, resolved as a table path is.
        {grid, sub, grid},
        {QStringLiteral("srv/grid"), {}, grid},
        {QStringLiteral("c:\\KALVORA\\sub"), {}, sub},
        {QStringLiteral("C:\\Kalvora\\"), {}, kalvora},
        // No such folder: the current one, whatever was chosen before.
        {QStringLiteral("C:\\Missing"), sub, root()},
        {QStringLiteral("AdvSetBlk.db"), sub, root()},
        {kalvora + u' ', sub, root()},
        // An empty text: the last folder chosen while it exists.
        {{}, sub, sub},
        {{}, {}, root()},
        {{}, root() + QStringLiteral("/gone"), root()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(navigator.startFolder(c.text, c.lastChosen), c.start) << c.text.toStdString();
}

// "C:\" means the drive, and a drive keeps the folder last opened on it.
TEST_F(FolderNavigatorTest, DriveTopStartsInTheDrivesCurrentFolder)
{
    const QString driveE = makeWineDrive('e', makeFolder(QStringLiteral("prefix/drive_e")));
    const QString data = makeFolder(QStringLiteral("prefix/drive_e/Data"));
    drives.prepend({QStringLiteral("e:"), driveE, u'E'});
    FolderNavigator navigator(drives);
    EXPECT_EQ(navigator.startFolder(QStringLiteral("E:\\"), {}), driveE);

    ASSERT_TRUE(navigator.open(data));
    ASSERT_TRUE(navigator.open(grid));
    EXPECT_EQ(navigator.startFolder(QStringLiteral("e:"), {}), data);
    ASSERT_TRUE(navigator.open(driveE));
    EXPECT_EQ(navigator.startFolder(QStringLiteral("E:/"), {}), driveE) << "the current folder is its drive's";

    ASSERT_TRUE(navigator.open(data));
    ASSERT_TRUE(navigator.open(grid));
    ASSERT_TRUE(QDir(data).removeRecursively());
    EXPECT_EQ(navigator.startFolder(QStringLiteral("E:\\"), {}), driveE);
}

TEST_F(FolderNavigatorTest, OpeningMakesTheFolderCurrentAndAFailureChangesNothing)
{
    FolderNavigator navigator(drives);
    ASSERT_TRUE(navigator.open(root() + QStringLiteral("/srv/./Grid")));
    EXPECT_EQ(navigator.folder(), grid);
    EXPECT_EQ(currentFolder(), grid);

    makeFile(QStringLiteral("srv/Grid/AdvSetBlk.db"));
    EXPECT_FALSE(navigator.open(grid + QStringLiteral("/AdvSetBlk.db")));
    EXPECT_FALSE(navigator.open(grid + QStringLiteral("/Missing")));
    EXPECT_EQ(navigator.folder(), grid);
    EXPECT_EQ(currentFolder(), grid);
}

TEST_F(FolderNavigatorTest, TextEndsInASeparatorOnlyForARootAndMapsBack)
{
    const QString mount = makeFolder(QStringLiteral("mnt/usb"));
    drives.append({mount, mount, QChar()});
    const struct {
        QString folder, text;
    } cases[] = {
        {driveC, QStringLiteral("C:\\")},
        {sub, QStringLiteral("C:\\Kalvora\\Sub")},
        {QStringLiteral("/"), QStringLiteral("/")},
        {grid, grid},
        {mount, mount},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(folderText(c.folder, drives), c.text);
        const std::string loaded = grid::hostPath(c.text.toStdString());
        EXPECT_EQ(QFileInfo(QString::fromStdString(loaded)).canonicalFilePath(), c.folder);
    }
}

TEST_F(FolderNavigatorTest, DriveOfAFolderIsTheNearestWithLettersWinningTiesBelowTheRoot)
{
    const QString mount = makeFolder(QStringLiteral("mnt/cdrom"));
    const QList<Drive> tied = {
        {QStringLiteral("z:"), QStringLiteral("/"), u'Z'},
        {QStringLiteral("/"), QStringLiteral("/"), QChar()},
        {mount, mount, QChar()},
        {QStringLiteral("d:"), mount, u'D'},
        {QStringLiteral("c:"), driveC, u'C'},
    };
    EXPECT_EQ(driveOf(grid, tied), 1);
    EXPECT_EQ(driveOf(mount, tied), 3);
    EXPECT_EQ(driveOf(sub, tied), 4);
    EXPECT_EQ(driveOf(makeFolder(QStringLiteral("mnt/cdrom2")), tied), 1) << "a name that only starts alike";
}

TEST_F(FolderNavigatorTest, PathRunsFromTheDriveAndListsLeaveOutHiddenNames)
{
    for (const char* name : {"Sub/beta", "Sub/Alpha", "Sub/.cache"})
        makeFolder(QStringLiteral("prefix/drive_c/Kalvora/") + QLatin1String(name));
    for (const char* name : {"Sub/b.db", "Sub/A.db", "Sub/.hidden"})
        makeFile(QStringLiteral("prefix/drive_c/Kalvora/") + QLatin1String(name));
    FolderNavigator navigator(drives);
    ASSERT_TRUE(navigator.open(sub));

    QStringList steps;
    for (const FolderNavigator::Step& step : navigator.path())
        steps << step.name + u'=' + step.folder;
    EXPECT_EQ(steps, QStringList({"C:\\=" + driveC, "Kalvora=" + kalvora, "Sub=" + sub}));
    EXPECT_EQ(navigator.subFolders(), QStringList({"Alpha", "beta"}));
    EXPECT_EQ(navigator.files(), QStringList({"A.db", "b.db"}));
}

TEST_F(FolderNavigatorTest, MachineDrivesAreThePrefixDrivesThatExistThenMountPoints)
{
    makeWineDrive('d', root() + QStringLiteral("/gone"));
    const QList<Drive> found = availableDrives();
    ASSERT_GE(found.size(), 2);
    EXPECT_EQ(found[0].name + found[0].letter + found[0].root, QStringLiteral("c:C") + driveC);
    EXPECT_EQ(found[1].name, QStringLiteral("/")) << "no d:, its folder is gone";
    for (const Drive& drive : found)
        EXPECT_FALSE(drive.root.startsWith(QLatin1String("/proc"))) << drive.root.toStdString();
}

} // namespace
} // namespace app

#include "foreign_lock.h"
#include "grid_tables.h"
#include "grid_test_util.h"
#include "test_support.h"

#include "grid/engine.h"
#include "grid/shift.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

using testsupport::TempDir;
namespace fs = std::filesystem;

TEST(SlashedPath, AppendsOneBackslashAndChangesNothingElse)
{
    EXPECT_EQ(grid::SlashedPath("C:\\Kalvora"), "C:\\Kalvora\\");
    EXPECT_EQ(grid::SlashedPath("C:\\Kalvora\\"), "C:\\Kalvora\\");
    EXPECT_EQ(grid::SlashedPath("D:\\"), "D:\\");
    EXPECT_EQ(grid::SlashedPath(""), "");
    EXPECT_EQ(grid::SlashedPath("C:\\Kalvora "), "C:\\Kalvora \\");
    EXPECT_EQ(grid::SlashedPath("C:/x/"), "C:/x/\\");
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old, m_had = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_had)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

class HostPath : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A Wine prefix whose C: drive holds the station's folder, its files
        // named in capitals as old programs leave them.
        fs::create_directories(prefix.path() + "/drive_c/KALVORA");
        fs::create_directories(prefix.path() + "/dosdevices");
        fs::create_directory_symlink("../drive_c", prefix.path() + "/dosdevices/c:");
        testsupport::writeFile(prefix.path() + "/drive_c/KALVORA/ADVSETBLK.DB", {std::byte{1}});
    }

    TempDir prefix;
};

TEST_F(HostPath, DriveLettersLeadIntoTheWinePrefixAndNamesIgnoreLetterCase)
{
    ScopedEnv env("WINEPREFIX", prefix.path());
    const std::string host = grid::hostPath("C:\\Kalvora\\AdvSetBlk.db");
    EXPECT_EQ(host, prefix.path() + "/dosdevices/c:/KALVORA/ADVSETBLK.DB");
    EXPECT_TRUE(grid::fileExists("C:\\Kalvora\\AdvSetBlk.db"));
    EXPECT_TRUE(grid::fileExists("c:\\kalvora\\advsetblk.db"));
    EXPECT_FALSE(grid::fileExists("C:\\Kalvora\\AdvBlock.db"));
    // A blank at the end of the folder text is part of the name, so nothing is found.
    EXPECT_FALSE(grid::fileExists(grid::SlashedPath("C:\\Kalvora ") + "AdvSetBlk.db"));
    EXPECT_FALSE(grid::fileExists("D:\\Kalvora\\AdvSetBlk.db"));
    // A folder is not a table file.
    EXPECT_FALSE(grid::fileExists("C:\\Kalvora"));
}

TEST_F(HostPath, WithoutWinePrefixTheHomeFolderHoldsIt)
{
    TempDir home;
    fs::create_directory_symlink(prefix.path(), home.path() + "/.wine");
    ScopedEnv unsetPrefix("WINEPREFIX", "");
    ScopedEnv h("HOME", home.path());
    EXPECT_TRUE(grid::fileExists("C:\\Kalvora\\AdvSetBlk.db"));
}

TEST_F(HostPath, MessagesNameFilesAsTheUserTypedTheFolder)
{
    ScopedEnv env("WINEPREFIX", prefix.path());
    const std::string host = prefix.path() + "/dosdevices/c:/KALVORA/";
    EXPECT_EQ(grid::userPaths(host + "ADVSETBLK.DB: the table is in use (" + host + "ADVSETBLK.LCK is locked)",
                              "C:\\Kalvora\\AdvSetBlk.db"),
              "C:\\Kalvora\\ADVSETBLK.DB: the table is in use (C:\\Kalvora\\ADVSETBLK.LCK is locked)");
    EXPECT_EQ(grid::userPaths("Key violation", "C:\\Kalvora\\AdvSetBlk.db"), "Key violation");

    // Through a shift: the automation program holds the filling.
    std::filesystem::remove(prefix.path() + "/drive_c/KALVORA/ADVSETBLK.DB");
    testsupport::writeGridTable(prefix.path() + "/drive_c/KALVORA/AdvSetBlk.db", {{0, 10, 15}});
    testsupport::writeFillingTable(prefix.path() + "/drive_c/KALVORA/AdvBlock.db", {{2026, 3, 2, 10, 15}});
    testsupport::ForeignLock lock(prefix.path() + "/drive_c/KALVORA/AdvBlock.db");
    grid::Engine engine;
    grid::QueryDataSet query;
    grid::TableDataSet table;
    RecordingProgress progress;
    RecordingView view;
    ASSERT_TRUE(grid::loadMinutes(engine, "C:\\Kalvora", query, progress, view));
    struct All : grid::TickList {
        int n;
        explicit All(int c) : n(c) {}
        int count() const override { return n; }
        bool ticked(int) const override { return true; }
    } days(7), hours(24);
    grid::ShiftInputs in;
    in.newMinute = 20;
    in.blockSize = [] { return 0.002; };
    try {
        grid::shiftMinute(engine, in, grid::DayHourFilter(days, hours), table, query, progress, view);
        ADD_FAILURE() << "no error";
    } catch (const grid::Error& e) {
        EXPECT_STREQ(e.what(), "C:\\Kalvora\\AdvBlock.db: the table is in use by another program");
    }
}

TEST_F(HostPath, RelativeAndBarePathsStartFromTheCurrentFolder)
{
    CurrentFolder inside(prefix.path() + "/drive_c");
    EXPECT_TRUE(grid::fileExists("Kalvora\\AdvSetBlk.db"));
    CurrentFolder deeper(prefix.path() + "/drive_c/KALVORA");
    EXPECT_TRUE(grid::fileExists("AdvSetBlk.db"));
    EXPECT_FALSE(grid::fileExists("AdvBlock.db"));
}

} // namespace

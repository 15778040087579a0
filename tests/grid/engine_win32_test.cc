// On Windows the folder text is the path itself: the system resolves drive
// letters, UNC names, relative folders and letter case, and the program only
// has to hand every name over in the right encoding.
#include "grid_tables.h"
#include "grid_test_util.h"
#include "test_support.h"

#include "grid/shift.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

using testsupport::TempDir;
namespace fs = std::filesystem;

fs::path fromUtf8(const std::string& s)
{
    return fs::path(std::u8string(s.begin(), s.end()));
}

std::string toUtf8(const fs::path& p)
{
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

// ASCII and Cyrillic letters in capitals, as a station might type them.
std::string upperCase(const std::string& utf8)
{
    std::wstring w = fromUtf8(utf8).wstring();
    CharUpperBuffW(w.data(), static_cast<DWORD>(w.size()));
    return toUtf8(fs::path(w));
}

class WindowsFolders : public ::testing::Test {
protected:
    void SetUp() override { makeTables(folder); }

    static void makeTables(const std::string& where)
    {
        fs::create_directories(fromUtf8(where));
        testsupport::writeGridTable(where + "\\AdvSetBlk.db", {{0, 10, 15}, {3, 11, 45}}, {true});
        testsupport::writeFillingTable(where + "\\AdvBlock.db", {{2026, 3, 2, 10, 15}}, {true});
    }

    std::vector<std::string> load(const std::string& text)
    {
        view.list.clear();
        view.errors.clear();
        EXPECT_TRUE(grid::loadMinutes(engine, text, query, progress, view));
        EXPECT_TRUE(view.errors.empty()) << text << ": " << view.errors.front();
        return view.list;
    }

    // Moves minute 15 to 20 through the folder text; the minutes after it.
    std::vector<std::string> shift(const std::string& text)
    {
        load(text);
        engine.OldMinute = 15;
        grid::ShiftInputs in;
        in.newMinute = 20;
        in.blockSize = [] { return 2.5 / 1440; };
        in.folderText = [text] { return text; };
        const grid::ShiftResult r = grid::shiftMinute(engine, in, filter, table, query, progress, view);
        EXPECT_EQ(r.gridChanged, 1);
        EXPECT_EQ(r.fillingChanged, 1);
        return view.list;
    }

    TempDir dir;
    std::string folder = dir.path() + "\\Эфир";
    grid::Engine engine;
    grid::QueryDataSet query;
    grid::TableDataSet table;
    RecordingProgress progress;
    RecordingView view;
    Ticks days{7}, hours{24};
    grid::DayHourFilter filter{days, hours};
    const std::vector<std::string> before{"15", "45"}, after{"20", "45"};
};

TEST_F(WindowsFolders, DriveLetterPathsInAnyLetterCaseAndWithEitherSlash)
{
    ASSERT_EQ(folder[1], ':');
    EXPECT_EQ(grid::hostPath(folder), folder);
    EXPECT_EQ(load(folder), before);
    EXPECT_EQ(load(folder + "\\"), before);
    std::string slashes = upperCase(folder);
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    EXPECT_EQ(load(slashes), before);
    EXPECT_EQ(engine.BaseFolder, slashes + "\\");
    EXPECT_TRUE(grid::fileExists(upperCase(folder) + "\\advsetblk.DB"));

    EXPECT_EQ(shift(upperCase(folder)), after);
    // The tables keep the names they had, whatever case the text was in.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fromUtf8(folder))) {
        const std::string name = toUtf8(entry.path().filename());
        if (name.starts_with("Adv") || name.starts_with("ADV"))
            names.push_back(name);
    }
    std::ranges::sort(names);
    EXPECT_EQ(names, (std::vector<std::string>{"AdvBlock.db", "AdvBlock.px", "AdvSetBlk.db", "AdvSetBlk.px"}));
}

TEST_F(WindowsFolders, RelativeFolderTexts)
{
    {
        CurrentFolder inside(dir.path());
        EXPECT_EQ(load("Эфир"), before);
        EXPECT_EQ(load(".\\ЭФИР"), before);
    }
    {
        CurrentFolder inside(folder);
        EXPECT_EQ(load(""), before); // the tables' bare names
        EXPECT_EQ(load("..\\Эфир"), before);
        // The root of the current drive.
        EXPECT_EQ(load(folder.substr(2)), before);
        EXPECT_EQ(shift("..\\эфир"), after);
    }
}

// A UNC name for a local folder: Wine's dosdevices/unc/SERVER/SHARE, or
// Windows' administrative share of the drive; empty when neither is there.
std::string uncFolderFor(const std::string& localFolder, std::string* reachedAs)
{
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (wine) {
        const char* prefix = std::getenv("WINEPREFIX");
        if (!prefix || *prefix != '/')
            return {};
        std::string share = std::string("Z:") + prefix + "/dosdevices/unc/gridshift-station/adv";
        std::replace(share.begin(), share.end(), '/', '\\');
        std::error_code ec;
        fs::create_directories(fromUtf8(share), ec);
        *reachedAs = share;
        return ec ? std::string() : "\\\\gridshift-station\\adv";
    }
    *reachedAs = localFolder;
    const std::string unc = "\\\\localhost\\" + localFolder.substr(0, 1) + "$" + localFolder.substr(2);
    std::error_code ec;
    return fs::is_directory(fromUtf8(unc), ec) ? unc : std::string();
}

TEST_F(WindowsFolders, UncFolders)
{
    std::string local;
    const std::string unc = uncFolderFor(dir.path(), &local);
    if (unc.empty())
        GTEST_SKIP() << "no UNC name reaches a local folder here (no Wine prefix, no administrative share)";
    const std::string name = "Эфир-" + std::to_string(GetCurrentProcessId());
    makeTables(local + "\\" + name);
    EXPECT_EQ(load(unc + "\\" + name), before);
    EXPECT_EQ(shift(upperCase(unc + "\\" + name)), after);
    std::error_code ec;
    if (local != dir.path())
        fs::remove_all(fromUtf8(local + "\\" + name), ec);
}

} // namespace

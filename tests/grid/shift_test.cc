#include "faulty_file_system.h"
#include "grid_tables.h"
#include "grid_test_util.h"
#include "test_support.h"

#include "grid/recovery.h"
#include "grid/shift.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <map>

namespace {

using paradox::TimeOfDay;
using testsupport::FillingEntry;
using testsupport::GridSlot;
using testsupport::TempDir;

struct GridRecord {
    int day;
    TimeOfDay time;
    double size;
    bool operator<(const GridRecord& o) const
    {
        return std::tie(day, time.hour, time.minute, time.second, time.msec, size) <
               std::tie(o.day, o.time.hour, o.time.minute, o.time.second, o.time.msec, o.size);
    }
    bool operator==(const GridRecord& o) const { return !(*this < o) && !(o < *this); }
};

std::vector<GridRecord> readGrid(const std::string& path)
{
    grid::TableDataSet t;
    t.setTableName(path);
    t.open();
    std::vector<GridRecord> out;
    for (; !t.eof(); t.next())
        out.push_back({t.asInteger(0), paradox::decodeTime(t.asDateTime(1)), t.asDateTime(2)});
    t.close();
    return out;
}

std::vector<std::pair<double, TimeOfDay>> readFilling(const std::string& path)
{
    grid::TableDataSet t;
    t.setTableName(path);
    t.open();
    std::vector<std::pair<double, TimeOfDay>> out;
    for (; !t.eof(); t.next())
        out.emplace_back(t.asDateTime(0), paradox::decodeTime(t.asDateTime(1)));
    t.close();
    return out;
}

class Shift : public ::testing::Test {
public:
    void SetUp() override { makeTables(folder); }

    void makeTables(const TempDir& dir, const testsupport::GridTableOptions& options = {})
    {
        std::vector<GridSlot> slots;
        for (int day = 0; day < 7; ++day)
            for (int hour : {9, 10, 11})
                for (int minute : {0, 15, 45})
                    slots.push_back({day, hour, minute, minute == 15 ? 30 : 0});
        slots.push_back({7, 10, 15}); // day indices outside the week never match
        slots.push_back({-1, 10, 15});
        testsupport::writeGridTable(dir.file("AdvSetBlk.db"), slots, options);
        std::vector<FillingEntry> filling;
        for (int d = 2; d <= 8; ++d) // 2026-03-02 is a Monday, 03-08 a Sunday
            for (int hour : {9, 10, 11})
                for (int minute : {0, 15, 45})
                    filling.push_back({2026, 3, d, hour, minute});
        testsupport::writeFillingTable(dir.file("AdvBlock.db"), filling, options);
    }

    void loadFrom(const std::string& folderText)
    {
        ASSERT_TRUE(grid::loadMinutes(engine, folderText, query, progress, view));
        ASSERT_TRUE(view.errors.empty()) << view.errors.front();
    }

    grid::ShiftResult shift(double newMinute, double size = 3.0 / 1440)
    {
        grid::ShiftInputs in;
        in.newMinute = newMinute;
        in.blockSize = [size] { return size; };
        in.folderText = [this] { return folderText; };
        progress.reports.clear();
        return grid::shiftMinute(engine, in, filter, table, query, progress, view);
    }

    TempDir folder;
    std::string folderText = folder.path();
    grid::Engine engine;
    grid::TableDataSet table;
    grid::QueryDataSet query;
    RecordingProgress progress;
    RecordingView view;
    Ticks days{7}, hours{24};
    grid::DayHourFilter filter{days, hours};
};

TEST_F(Shift, MovesTheSelectedMinuteInBothTablesKeepingSeconds)
{
    loadFrom(folderText);
    engine.OldMinute = 15;
    hours.v[10] = false; // 10:15 stays where it is
    const auto gridBefore = readGrid(folder.file("AdvSetBlk.db"));
    const auto fillingBefore = readFilling(folder.file("AdvBlock.db"));

    const grid::ShiftResult r = shift(50);
    EXPECT_TRUE(r.ran);
    EXPECT_EQ(view.questions,
              (std::vector<std::string>{"Вы действительно хотите перенести все блоки\rрекламной сетки с 15-ой "
                                        "минуты на 50-ю ?"}));
    EXPECT_EQ(r.gridChanged, 7 * 2);
    EXPECT_EQ(r.fillingChanged, 7 * 2);

    std::vector<GridRecord> expected;
    for (GridRecord g : gridBefore) {
        if (g.day >= 0 && g.day <= 6 && g.time.minute == 15 && g.time.hour != 10) {
            g.time.minute = 50; // the seconds stay
            g.size = 3.0 / 1440;
        }
        expected.push_back(g);
    }
    EXPECT_EQ(readGrid(folder.file("AdvSetBlk.db")), expected);
    std::size_t moved = 0;
    const auto fillingAfter = readFilling(folder.file("AdvBlock.db"));
    for (std::size_t i = 0; i < fillingAfter.size(); ++i) {
        const bool shouldMove = fillingBefore[i].second.minute == 15 && fillingBefore[i].second.hour != 10;
        EXPECT_EQ(fillingAfter[i].second.minute, shouldMove ? 50 : fillingBefore[i].second.minute);
        moved += shouldMove;
    }
    EXPECT_EQ(moved, 14u);
    // Reloaded: the list now offers 00, 15 (only 10:15 is left), 45 and 50.
    EXPECT_EQ(view.list, (std::vector<std::string>{"00", "15", "45", "50"}));
    EXPECT_EQ(engine.OldMinute, 15); // unchanged here: the window's click handling sets it
    EXPECT_FALSE(table.active());
}

TEST_F(Shift, TheSameMinuteOnlySetsBlockLengthsAndLeavesTheFillingAlone)
{
    loadFrom(folderText);
    engine.OldMinute = 15;
    // The filling table must not even be opened.
    testsupport::writeFile(folder.file("AdvBlock.db"), std::vector<std::byte>(100, std::byte{7}));
    const grid::ShiftResult r = shift(15.9, 190.0 / 86400);
    EXPECT_EQ(view.questions,
              (std::vector<std::string>{"Вы хотите установить новую продолжительность\rблоков для 15-ой минуты ?"}));
    EXPECT_EQ(r.gridChanged, 21);
    EXPECT_EQ(r.fillingChanged, 0);
    for (const GridRecord& g : readGrid(folder.file("AdvSetBlk.db")))
        if (g.time.minute == 15)
            EXPECT_EQ(g.size, (g.day >= 0 && g.day <= 6) ? 190.0 / 86400 : 120.0 / 86400);
    for (const auto& [text, percent] : progress.reports)
        EXPECT_LE(percent, 20);
}

TEST_F(Shift, DayTicksDecideForGridDaysAndFillingDates)
{
    loadFrom(folderText);
    engine.OldMinute = 45;
    days.v = {false, false, false, false, false, false, true}; // Sunday only
    const grid::ShiftResult r = shift(40);
    EXPECT_EQ(r.gridChanged, 3);
    EXPECT_EQ(r.fillingChanged, 3);
    for (const auto& [date, t] : readFilling(folder.file("AdvBlock.db")))
        if (t.minute == 40)
            EXPECT_EQ(grid::GetDOW(date), 6);
}

TEST_F(Shift, ShiftsTheFolderOfTheLastLoadAndReloadsFromTheField)
{
    loadFrom(folderText);
    TempDir other;
    makeTables(other);
    folderText = other.path(); // typed after the load
    engine.OldMinute = 0;
    const grid::ShiftResult r = shift(5);
    EXPECT_EQ(r.gridChanged, 21);
    // Folder A changed, folder B did not.
    for (const GridRecord& g : readGrid(other.file("AdvSetBlk.db")))
        EXPECT_NE(g.time.minute, 5);
    int movedInA = 0;
    for (const GridRecord& g : readGrid(folder.file("AdvSetBlk.db")))
        movedInA += g.time.minute == 5;
    EXPECT_EQ(movedInA, 21);
    // The reload read the folder field as it stands.
    EXPECT_EQ(engine.BaseFolder, other.path() + "\\");
    EXPECT_EQ(view.list, (std::vector<std::string>{"00", "15", "45"}));
}

TEST_F(Shift, BeforeAnyLoadItAsksAboutMinuteZeroAndUsesTheCurrentFolder)
{
    TempDir elsewhere;
    CurrentFolder cwd(elsewhere.path());
    const grid::ShiftResult r = [&] {
        try {
            return shift(0);
        } catch (const grid::Error& e) {
            EXPECT_NE(std::string(e.what()).find("AdvSetBlk.db"), std::string::npos) << e.what();
            return grid::ShiftResult{true, -1, -1};
        }
    }();
    EXPECT_EQ(r.gridChanged, -1) << "the missing table should have ended the shift";
    EXPECT_EQ(view.questions.size(), 1u);
    EXPECT_NE(view.questions[0].find("для 0-ой минуты"), std::string::npos);
    // Opened, and closed before the error is shown.
    EXPECT_EQ(progress.reports,
              (std::vector<std::pair<std::string, double>>{{"Процесс переноса сетки !", 0}, {"", -1}}));
    EXPECT_FALSE(engine.busy);
    EXPECT_FALSE(table.active());

    // With the tables in the current folder, bare names find them.
    makeTables(elsewhere);
    const grid::ShiftResult bare = shift(0);
    EXPECT_EQ(bare.gridChanged, 21); // minute 0 of hours 9-11 on every day: lengths set
    EXPECT_EQ(bare.fillingChanged, 0);
}

TEST_F(Shift, ReportsEveryTwentiethGridAndHundredthFillingRecord)
{
    std::vector<FillingEntry> filling;
    for (int d = 1; d <= 21; ++d)
        for (int hour : {9, 10, 11})
            for (int minute : {0, 15, 45})
                filling.push_back({2026, 3, d, hour, minute});
    std::remove(folder.file("AdvBlock.db").c_str());
    testsupport::writeFillingTable(folder.file("AdvBlock.db"), filling);
    loadFrom(folderText);
    engine.OldMinute = 0;
    shift(1);
    // 63 + 2 grid records, 189 filling records.
    std::vector<std::pair<std::string, double>> expected = {{"Процесс переноса сетки !", 0},
                                                            {"", 20 * 20.0 / 65},
                                                            {"", 40 * 20.0 / 65},
                                                            {"", 60 * 20.0 / 65},
                                                            {"Процесс переноса данных", 20},
                                                            {"", 100 * 80.0 / 189 + 20},
                                                            {"", -1}};
    ASSERT_GE(progress.reports.size(), expected.size());
    progress.reports.resize(expected.size()); // the reload's reports follow
    EXPECT_EQ(progress.reports, expected);

    // Tables under 20 and 100 records give no reports in between.
    TempDir small;
    testsupport::writeGridTable(small.file("AdvSetBlk.db"), {{0, 10, 15}});
    testsupport::writeFillingTable(small.file("AdvBlock.db"), {{2026, 3, 2, 10, 15}});
    folderText = small.path();
    loadFrom(folderText);
    engine.OldMinute = 15;
    shift(20);
    progress.reports.resize(3);
    EXPECT_EQ(progress.reports, (std::vector<std::pair<std::string, double>>{
                                    {"Процесс переноса сетки !", 0}, {"Процесс переноса данных", 20}, {"", -1}}));
}

TEST_F(Shift, DeclinedOrBadNewMinutesChangeNothing)
{
    loadFrom(folderText);
    const std::vector<std::byte> before = testsupport::readFile(folder.file("AdvSetBlk.db"));
    engine.OldMinute = 15;
    view.answer = false;
    EXPECT_FALSE(shift(30).ran);
    EXPECT_TRUE(progress.reports.empty());

    view.answer = true;
    view.questions.clear();
    EXPECT_THROW(shift(65536), grid::RangeError);
    EXPECT_THROW(shift(-1), grid::RangeError);
    EXPECT_TRUE(view.questions.empty());

    // 60 passes the range check but not the time encoding, which fails at the
    // first matching record before it is edited.
    try {
        shift(60.5);
        ADD_FAILURE() << "no error";
    } catch (const grid::Error& e) {
        EXPECT_STREQ(e.what(), "Invalid argument to time encode");
    }
    EXPECT_EQ(testsupport::readFile(folder.file("AdvSetBlk.db")), before);
    EXPECT_FALSE(engine.busy);
}

std::vector<std::vector<std::byte>> tableBytes(const TempDir& dir)
{
    return {testsupport::readFile(dir.file("AdvSetBlk.db")), testsupport::readFile(dir.file("AdvBlock.db"))};
}

// A refused shift leaves both tables as they were, closed and unlocked, the
// progress window closed and the list as it was; the next starts afresh.
TEST_F(Shift, ARefusalWritesNothingAndReleasesEverything)
{
    loadFrom(folderText);
    const auto before = tableBytes(folder);
    engine.OldMinute = 15;
    // A length a time of day cannot hold: refused before the question.
    EXPECT_EQ(messageOf([&] { shift(20, 1.0); }), "Новый размер блока должен быть меньше суток (не более 1439:59)");
    EXPECT_TRUE(view.questions.empty());

    // A filling that cannot be written is found before the grid is touched.
    testsupport::FaultyFileSystem fs;
    fs.refuseWriteOpenOf = "AdvBlock.db";
    table.setFileSystem(&fs);
    EXPECT_EQ(messageOf([&] { shift(50); }), "Table1: Cannot modify a read-only dataset");
    EXPECT_EQ(tableBytes(folder), before);
    EXPECT_FALSE(table.active());
    EXPECT_FALSE(query.active());
    EXPECT_EQ(progress.reports.back(), (std::pair<std::string, double>{"", -1}));
    EXPECT_EQ(view.list, (std::vector<std::string>{"00", "15", "45"}));
    for (const char* name : {"AdvSetBlk.db", "AdvBlock.db"}) {
        std::unique_ptr<paradox::Table> t;
        ASSERT_TRUE(paradox::Table::open(folder.file(name), {}, &t).isOk());
        EXPECT_TRUE(t->lockForWriting().isOk()) << name << " is still locked";
    }
    fs.refuseWriteOpenOf.clear();
    EXPECT_EQ(shift(50, 86399999.0 / 86400000).fillingChanged, 21);
}

TEST_F(Shift, ATableReplacedDuringTheShiftIsNamedAndNothingIsWritten)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows lets no program copy or replace a table held for writing";
#endif
    loadFrom(folderText);
    const auto before = tableBytes(folder);
    engine.OldMinute = 15;
    // Another program puts a copy in the filling's place while it is walked.
    struct Replacing : RecordingProgress {
        std::string path;
        void report(const std::string& text, double) override
        {
            if (text == "Процесс переноса данных") {
                std::filesystem::copy_file(path, path + ".copy");
                std::filesystem::rename(path + ".copy", path);
            }
        }
    } replacing;
    replacing.path = folder.file("AdvBlock.db");
    grid::ShiftInputs in;
    in.newMinute = 50;
    in.blockSize = [] { return 3.0 / 1440; };
    // Named as the user typed the folder, with the system's separator.
    EXPECT_EQ(messageOf([&] { grid::shiftMinute(engine, in, filter, table, query, replacing, view); }),
              folderText + "/AdvBlock.db: the file was replaced or removed by another program");
    EXPECT_EQ(tableBytes(folder), before);
}

TEST_F(Shift, AKeyViolationIsFoundBeforeAnythingIsWritten)
{
    TempDir keyedFolder;
    testsupport::GridTableOptions keyed;
    keyed.keyed = true;
    makeTables(keyedFolder, keyed);
    folderText = keyedFolder.path();
    loadFrom(folderText);
    const auto before = tableBytes(keyedFolder);
    // Every :15 block of the filling has a :45 partner on its day and hour
    // (the grid's keep their 30 seconds, so they alone could move).
    engine.OldMinute = 15;
    EXPECT_EQ(messageOf([&] { shift(45); }), "Key violation");
    EXPECT_EQ(tableBytes(keyedFolder), before);
    EXPECT_FALSE(table.active());

    // The next shift starts from the beginning and moves every block of minute 0.
    engine.OldMinute = 0;
    const grid::ShiftResult r = shift(1);
    EXPECT_EQ(r.gridChanged + r.fillingChanged, 42);
    for (const GridRecord& g : readGrid(keyedFolder.file("AdvSetBlk.db")))
        EXPECT_NE(g.time.minute, 0);
    for (const auto& [date, t] : readFilling(keyedFolder.file("AdvBlock.db")))
        EXPECT_NE(t.minute, 0);
}

TEST_F(Shift, ASecondShiftOrLoadStartedDuringOneDoesNothing)
{
    loadFrom(folderText);
    engine.OldMinute = 0;
    struct Reentering : RecordingProgress {
        Shift* test;
        int refused = 0;
        void report(const std::string& text, double percent) override
        {
            RecordingProgress::report(text, percent);
            if (percent < 0)
                return;
            grid::ShiftInputs in;
            in.newMinute = 30;
            in.blockSize = [] { return 0.0; };
            refused +=
                !grid::shiftMinute(test->engine, in, test->filter, test->table, test->query, *this, test->view).ran;
            refused += !grid::loadMinutes(test->engine, "elsewhere", test->query, *this, test->view);
        }
    } reentering;
    reentering.test = this;
    grid::ShiftInputs in;
    in.newMinute = 5;
    in.blockSize = [] { return 3.0 / 1440; };
    in.folderText = [this] { return folderText; };
    const grid::ShiftResult r = grid::shiftMinute(engine, in, filter, table, query, reentering, view);
    EXPECT_EQ(r.gridChanged, 21);
    EXPECT_GT(reentering.refused, 0);
    EXPECT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(engine.BaseFolder, folderText + "\\");
}

TEST(DayHourFilter, TicksAreReadWhenAskedAndOutOfRangeNeverMatches)
{
    Ticks days(7), hours(24);
    grid::DayHourFilter f(days, hours);
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(f.CheckDayOfWeek(i));
    for (int i = 0; i < 24; ++i)
        EXPECT_TRUE(f.CheckTime(i));
    EXPECT_FALSE(f.CheckDayOfWeek(-1));
    EXPECT_FALSE(f.CheckDayOfWeek(7));
    EXPECT_FALSE(f.CheckTime(-1));
    EXPECT_FALSE(f.CheckTime(24));
    days.v[6] = false;
    EXPECT_FALSE(f.CheckDayOfWeek(6));
    EXPECT_TRUE(f.CheckDayOfWeek(5));
    EXPECT_EQ(grid::hourItemText(0), "00-01");
    EXPECT_EQ(grid::hourItemText(23), "23-24");
}

TEST(DayHourFilter, DayIndexOfADate)
{
    EXPECT_EQ(grid::GetDOW(0), 5); // 1899-12-30, a Saturday
    const double tuesday = paradox::dateTimeFromDayNumber(paradox::dayNumberFromCivil({2011, 8, 23}));
    EXPECT_EQ(grid::GetDOW(tuesday), 1);
    EXPECT_EQ(grid::GetDOW(tuesday + 0.99), 1);
    EXPECT_EQ(grid::GetDOW(tuesday - 1), 0); // Monday
    EXPECT_EQ(grid::GetDOW(tuesday + 5), 6); // Sunday
    // Within half a millisecond of midnight is the next day.
    EXPECT_EQ(grid::GetDOW(tuesday + 1 - 0.4 / 86400000), 2);
    EXPECT_EQ(grid::GetDOW(tuesday + 1 - 0.6 / 86400000), 1);
    // Whole days by their day numbers agree, before 1899 as after.
    for (std::int32_t day : {1, 2, 7, 693594, 693595, 734372, 3652059})
        EXPECT_EQ(grid::dayIndexOfDayNumber(day), grid::GetDOW(paradox::dateTimeFromDayNumber(day))) << day;
}

} // namespace

namespace {

// Every record that should change does, and nothing else in the files does,
// on tables with and without keys and with Time and Timestamp start times.
class ShiftFiles : public ::testing::TestWithParam<std::tuple<bool, paradox::FieldType>> {};

// Records as comparable text, each field decoded; FTime as its time of day.
std::vector<std::string> recordsOf(const std::string& path)
{
    std::unique_ptr<paradox::Table> t;
    paradox::Table::Options o;
    o.mode = paradox::OpenMode::ReadOnly;
    EXPECT_TRUE(paradox::Table::open(path, o, &t).isOk());
    std::vector<std::string> rows;
    const int time = t->fieldIndex("FTime");
    for (t->first(); !t->eof(); t->next()) {
        std::string row;
        for (int f = 0; f < static_cast<int>(t->fields().size()); ++f) {
            if (f == time) {
                paradox::DateTime v = 0;
                EXPECT_TRUE(t->readDateTime(f, &v).isOk());
                const TimeOfDay tod = paradox::decodeTime(v);
                row += "T" + std::to_string(tod.hour) + ":" + std::to_string(tod.minute) + ":" +
                       std::to_string(tod.second) + "|";
                continue;
            }
            const paradox::Value v = t->value(f);
            row += std::to_string(v.integer) + "/" + std::to_string(v.real) + "/" + v.text + "|";
        }
        rows.push_back(row);
    }
    return rows;
}

// The record text with its time moved to minute 50 and, in the grid, its size set.
std::string moved(std::string row, bool isGrid)
{
    const std::size_t t = row.find("|T") + 2;
    const std::size_t colon = row.find(':', t);
    row.replace(colon + 1, row.find(':', colon + 1) - colon - 1, "50");
    if (isGrid) {
        // FSize follows FTime: 150 s as milliseconds.
        const std::size_t sizeStart = row.find('|', t) + 1;
        row.replace(sizeStart, row.find('/', sizeStart) - sizeStart, "150000");
    }
    return row;
}

TEST_P(ShiftFiles, OnlyTheMatchingRecordsChange)
{
    const auto [keyed, timeType] = GetParam();
    TempDir dir;
    std::vector<GridSlot> slots;
    for (int day = 0; day < 7; ++day)
        for (int hour = 0; hour < 24; ++hour)
            for (int minute : {0, 15, 30, 45})
                slots.push_back({day, hour, minute, minute / 15});
    testsupport::GridTableOptions options;
    options.keyed = keyed;
    options.timeType = timeType;
    options.recordsPerBlock = 7;
    testsupport::writeGridTable(dir.file("AdvSetBlk.db"), slots, options);
    std::vector<FillingEntry> filling;
    for (int d = 1; d <= 14; ++d) // 2026-06-01 is a Monday
        for (int hour = 0; hour < 24; ++hour)
            for (int minute : {0, 15, 30, 45})
                filling.push_back({2026, 6, d, hour, minute});
    testsupport::writeFillingTable(dir.file("AdvBlock.db"), filling, options);
    const auto gridBytes = testsupport::readFile(dir.file("AdvSetBlk.db"));
    const auto fillingBytes = testsupport::readFile(dir.file("AdvBlock.db"));
    const auto gridBefore = recordsOf(dir.file("AdvSetBlk.db"));
    const auto fillingBefore = recordsOf(dir.file("AdvBlock.db"));

    grid::Engine engine;
    grid::TableDataSet table;
    grid::QueryDataSet query;
    RecordingProgress progress;
    RecordingView view;
    Ticks days(7), hours(24);
    days.v[2] = false;
    hours.v[7] = hours.v[8] = false;
    grid::DayHourFilter filter(days, hours);
    ASSERT_TRUE(grid::loadMinutes(engine, dir.path(), query, progress, view));
    engine.OldMinute = 30;
    grid::ShiftInputs in;
    in.newMinute = 50; // past the 45-minute blocks: keyed records move
    in.blockSize = [] { return 150.0 / 86400; };
    in.folderText = [&] { return dir.path(); };
    const grid::ShiftResult r = grid::shiftMinute(engine, in, filter, table, query, progress, view);
    EXPECT_EQ(r.gridChanged, 6 * 22);
    EXPECT_EQ(r.fillingChanged, 12 * 22);

    auto expected = [](const std::vector<std::string>& rows, bool isGrid) {
        std::vector<std::string> out;
        for (const std::string& row : rows) {
            // Day index (grid) or weekday of the date (filling), hour and minute.
            const bool minute30 = row.find(":30:") != std::string::npos;
            const std::size_t t = row.find("|T") + 2;
            const int hour = std::stoi(row.substr(t));
            int day;
            if (isGrid)
                day = std::stoi(row);
            else
                day = paradox::weekdayOfDayNumber(std::stoi(row));
            out.push_back(minute30 && day != 2 && hour != 7 && hour != 8 ? moved(row, isGrid) : row);
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    auto sorted = [](std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    EXPECT_EQ(sorted(recordsOf(dir.file("AdvSetBlk.db"))), expected(gridBefore, true));
    EXPECT_EQ(sorted(recordsOf(dir.file("AdvBlock.db"))), expected(fillingBefore, false));
    // Without a key nothing moves: only FTime, FSize and the change counter differ.
    if (!keyed) {
        const std::size_t timeLength = timeType == paradox::FieldType::Time ? 4 : 8;
        auto check = [&](const std::vector<std::byte>& before, const std::vector<std::byte>& after,
                         std::size_t recordSize, std::size_t first, std::size_t end) {
            ASSERT_EQ(before.size(), after.size());
            for (std::size_t i = 0; i < before.size(); ++i) {
                if (before[i] == after[i] || i == 0x2D)
                    continue;
                ASSERT_GE(i, 0x800u + 6);
                const std::size_t inRecord = ((i - 0x800) % 2048 - 6) % recordSize;
                EXPECT_TRUE(inRecord >= first && inRecord < end) << "byte " << i << " at " << inRecord;
            }
        };
        check(gridBytes, testsupport::readFile(dir.file("AdvSetBlk.db")), 2 + timeLength + 4 + 20, 2,
              2 + timeLength + 4);
        check(fillingBytes, testsupport::readFile(dir.file("AdvBlock.db")), 4 + timeLength + 2 + 20, 4,
              4 + timeLength);
    }
}

INSTANTIATE_TEST_SUITE_P(TablesAndTimeTypes, ShiftFiles,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(paradox::FieldType::Time,
                                                                                 paradox::FieldType::Timestamp)));

} // namespace

namespace {

// Every operation that changes a file, failing in turn during a shift of
// both tables: afterwards, and after the next open of the folder, both
// tables are exactly as before (or, once the commit mark is written, as
// after), never in part.
struct FaultTables {
    bool keyed;
    bool secondary; // with maintained secondary indexes on both tables
};

class ShiftFaults : public ::testing::TestWithParam<FaultTables> {
protected:
    void build(int hours, int fillingDays)
    {
        testsupport::GridTableOptions options;
        options.keyed = GetParam().keyed;
        options.secondary = GetParam().secondary;
        options.recordsPerBlock = 5;
        std::vector<GridSlot> slots;
        std::vector<FillingEntry> filling;
        const std::int32_t monday = paradox::dayNumberFromCivil({2026, 1, 5});
        for (int hour = 0; hour < hours; ++hour)
            for (int minute : {0, 15, 30, 45}) {
                for (int day = 0; day < 7; ++day)
                    slots.push_back({day, hour, minute});
                for (int d = 0; d < fillingDays; ++d) {
                    const paradox::CivilDate date = paradox::civilFromDayNumber(monday + d);
                    filling.push_back({date.year, date.month, date.day, hour, minute});
                }
            }
        testsupport::writeGridTable(pristine.file("AdvSetBlk.db"), slots, options);
        testsupport::writeFillingTable(pristine.file("AdvBlock.db"), filling, options);
        before = tables(pristine.path());
        // .DB, .PX when keyed, and each index's .X and .Y.
        ASSERT_EQ(before.size(), (GetParam().keyed ? 4u : 2u) + (GetParam().secondary ? 10u : 0u));
        TempDir reference;
        copyFolder(pristine.path(), reference.path());
        testsupport::FaultyFileSystem counting;
        counting.durable = false;
        ASSERT_TRUE(shift(reference.path(), counting).empty());
        after = tables(reference.path());
        operations = counting.operations;
        ASSERT_NE(after, before);
    }

    // File by file: MinGW's std::filesystem::copy of a folder into an
    // existing one fails with "File exists".
    static void copyFolder(const std::string& from, const std::string& to)
    {
        for (const auto& entry : std::filesystem::directory_iterator(from))
            std::filesystem::copy_file(entry.path(), std::filesystem::path(to) / entry.path().filename(),
                                       std::filesystem::copy_options::overwrite_existing);
    }

    // Every file of both tables, indexes included, by name.
    static std::map<std::string, std::vector<std::byte>> tables(const std::string& folder)
    {
        std::map<std::string, std::vector<std::byte>> out;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("AdvSetBlk.", 0) == 0 || name.rfind("AdvBlock.", 0) == 0)
                out[name] = testsupport::readFile(entry.path().string());
        }
        return out;
    }

    // Shifts minute 15 to 50 in `folder` through `fs`; the error, if any.
    static std::string shift(const std::string& folder, testsupport::FaultyFileSystem& fs)
    {
        return shiftEverywhere(folder, fs, 15, 50, 150);
    }

    // Fails operation `n` (and every later one when the disk is `dead`), then
    // opens the folder again as the next user would.
    void failAt(int n, bool dead)
    {
        SCOPED_TRACE("operation " + std::to_string(n) + (dead ? " and every later one" : " alone"));
        TempDir work;
        copyFolder(pristine.path(), work.path());
        testsupport::FaultyFileSystem fs;
        fs.failAt = n;
        fs.failAfter = dead;
        fs.durable = false;
        const std::string error = shift(work.path(), fs);
        RecordingView view;
        grid::recoverFolder(work.path() + "/", view);
        const auto now = tables(work.path());
        // Only a dead disk after the commit mark leaves the shift standing.
        if (error.empty() || (dead && error.find("either complete") != std::string::npos && now == after))
            EXPECT_EQ(now, after) << error;
        else
            EXPECT_EQ(now, before) << error;
    }

    TempDir pristine;
    std::map<std::string, std::vector<std::byte>> before, after;
    int operations = 0;
};

TEST_P(ShiftFaults, EveryOperationOfASmallShiftFailingInTurn)
{
    // Indexes add files and pieces to write: fewer records keep the count of
    // operations near the others'.
    if (GetParam().secondary)
        build(2, 3);
    else
        build(3, 7);
    for (int n = 1; n <= operations; ++n)
        for (bool dead : {false, true})
            failAt(n, dead);
}

TEST_P(ShiftFaults, TwoHundredOperationsSpreadOverALargeShift)
{
    build(24, 100);
    ASSERT_GT(operations, 2000);
#ifdef _WIN32
    constexpr int kPositions = 12; // every file operation is slow under Wine; the rule is the same
#else
    constexpr int kPositions = 200;
#endif
    for (int k = 0; k < kPositions; ++k)
        failAt(1 + static_cast<int>(static_cast<long long>(k) * (operations - 1) / (kPositions - 1)), k % 2 == 1);
}

INSTANTIATE_TEST_SUITE_P(Tables, ShiftFaults,
                         ::testing::Values(FaultTables{true, false}, FaultTables{false, false},
                                           FaultTables{true, true}, FaultTables{false, true}),
                         [](const ::testing::TestParamInfo<FaultTables>& info) {
                             return std::string(info.param.keyed ? "Keyed" : "Unkeyed") +
                                    (info.param.secondary ? "WithSecondaryIndexes" : "");
                         });

} // namespace

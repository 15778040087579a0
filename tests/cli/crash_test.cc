// gridshift-cli killed at any moment of a shift, and two shifts of one folder
// at once: the tables end wholly as before or wholly as after, never a mix.
//
// GRIDSHIFT_CRASH_RECORDS (filling records, default 100000) and
// GRIDSHIFT_CRASH_KILLS (kills per kind of table, default 20) make it larger.

#include "test_support.h"

#include "paradox/table_builder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using paradox::FieldType;
using paradox::Value;
using testsupport::TempDir;
using Clock = std::chrono::steady_clock;

int envNumber(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

Value make(Value::Kind kind, std::int64_t v)
{
    Value x;
    x.kind = kind;
    x.integer = v;
    return x;
}

paradox::IndexDefinition index(std::vector<std::string> fields, std::string name = {}, bool descending = false)
{
    paradox::IndexDefinition s;
    s.fields = std::move(fields);
    s.name = std::move(name);
    s.descending = descending;
    return s;
}

// A week's grid of a block every quarter hour, and `records` dated blocks of
// the same times, day after day from 2000-01-03; with `secondary`, maintained
// secondary indexes on both, as the demo has them.
void buildStation(const std::string& folder, int records, bool keyed, bool secondary = false)
{
    paradox::CreateOptions options;
    options.keyFields = keyed ? 2 : 0;
    if (secondary)
        options.indexes = {index({"FSize"}), index({"FDayOfWeek", "FSize"}, "DayLength")};
    std::unique_ptr<paradox::TableBuilder> grid, filling;
    ASSERT_TRUE(paradox::TableBuilder::create({{"FDayOfWeek", FieldType::Short},
                                               {"FTime", FieldType::Time},
                                               {"FSize", FieldType::Time},
                                               {"FName", FieldType::Alpha, 20}},
                                              options, &grid)
                    .isOk());
    Value name;
    name.kind = Value::Kind::Text;
    name.text = "block";
    for (int day = 0; day < 7; ++day)
        for (int slot = 0; slot < 96; ++slot)
            ASSERT_TRUE(grid->addRecord({make(Value::Kind::Integer, day), make(Value::Kind::Time, slot * 900'000),
                                         make(Value::Kind::Time, 180'000), name})
                            .isOk());
    ASSERT_TRUE(grid->write(folder + "/AdvSetBlk.db").isOk());
    if (secondary)
        options.indexes = {index({"FTime", "FDate"}, "ByTime"), index({"FDate", "FTime"}, "Latest", true),
                           index({"FSpots"})};
    ASSERT_TRUE(paradox::TableBuilder::create({{"FDate", FieldType::Date},
                                               {"FTime", FieldType::Time},
                                               {"FSpots", FieldType::Short},
                                               {"FNote", FieldType::Alpha, 40}},
                                              options, &filling)
                    .isOk());
    const std::int64_t monday = paradox::dayNumberFromCivil({2000, 1, 3});
    for (int i = 0; i < records; ++i)
        ASSERT_TRUE(filling
                        ->addRecord({make(Value::Kind::Date, monday + i / 96),
                                     make(Value::Kind::Time, i % 96 * 900'000), make(Value::Kind::Integer, i % 7),
                                     name})
                        .isOk());
    ASSERT_TRUE(filling->write(folder + "/AdvBlock.db").isOk());
}

bool isTableFile(const fs::path& p)
{
    const std::string name = p.filename().string();
    return name.rfind("AdvSetBlk.", 0) == 0 || name.rfind("AdvBlock.", 0) == 0;
}

// The bytes of every file of both tables, indexes included, the journal left out.
std::map<std::string, std::vector<std::byte>> tablesOf(const std::string& folder)
{
    std::map<std::string, std::vector<std::byte>> out;
    for (const auto& entry : fs::directory_iterator(folder))
        if (isTableFile(entry.path()))
            out[entry.path().filename().string()] = testsupport::readFile(entry.path().string());
    return out;
}

void copyTables(const std::string& from, const std::string& to)
{
    fs::remove_all(to);
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(from))
        if (isTableFile(entry.path()))
            fs::copy_file(entry.path(), to + "/" + entry.path().filename().string());
}

// Starts gridshift-cli; its standard error goes to `errPath` when given.
pid_t start(const std::vector<std::string>& args, const std::string& errPath = "/dev/null")
{
    std::vector<std::string> all{GRIDSHIFT_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&quiet);
    return pid;
}

int finish(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

std::vector<std::string> shiftArgs(const std::string& folder, const char* to)
{
    return {"shift", folder, "--from", "15", "--to", to, "--size", "02:30", "--yes"};
}

struct Station {
    bool keyed;
    bool secondary;
};

class Crash : public ::testing::TestWithParam<Station> {};

TEST_P(Crash, AKilledShiftLeavesTheTablesWhollyBeforeOrWhollyAfter)
{
    const bool keyed = GetParam().keyed, secondary = GetParam().secondary;
    const int records = envNumber("GRIDSHIFT_CRASH_RECORDS", 100000);
    const int kills = envNumber("GRIDSHIFT_CRASH_KILLS", 20);
    TempDir dir;
    const std::string pristine = dir.path() + "/pristine", reference = dir.path() + "/after",
                      work = dir.path() + "/work";
    fs::create_directories(pristine);
    buildStation(pristine, records, keyed, secondary);
    const auto before = tablesOf(pristine);
    ASSERT_EQ(before.size(), (keyed ? 4u : 2u) + (secondary ? 10u : 0u));

    // Keyed, 15 to 50 moves each block past two others.
    const char* to = keyed ? "50" : "20";
    copyTables(pristine, reference);
    auto t0 = Clock::now();
    ASSERT_EQ(finish(start(shiftArgs(reference, to))), 0);
    const double whole = std::chrono::duration<double>(Clock::now() - t0).count();
    const auto after = tablesOf(reference);
    ASSERT_NE(after, before);

    int endedBefore = 0, endedAfter = 0, rolledBack = 0;
    const std::string said = dir.path() + "/said";
    for (int i = 0; i < kills; ++i) {
        copyTables(pristine, work);
        const pid_t pid = start(shiftArgs(work, to));
        std::this_thread::sleep_for(std::chrono::duration<double>(whole * (i + 0.5) / kills));
        kill(pid, SIGKILL);
        finish(pid);
        // Whoever opens the folder next finds the journal.
        ASSERT_EQ(finish(start({"minutes", work}, said)), 0) << "kill " << i;
        const std::vector<std::byte> note = testsupport::readFile(said);
        rolledBack += std::string(reinterpret_cast<const char*>(note.data()), note.size()).find("прерван") !=
                      std::string::npos;
        const auto now = tablesOf(work);
        if (now == before)
            ++endedBefore;
        else if (now == after)
            ++endedAfter;
        else
            ADD_FAILURE() << "kill " << i << " of " << kills << " at " << whole * (i + 0.5) / kills
                          << " s left a mix";
    }
    std::printf("%s%s, %d filling records, shift %.3f s: %d kills ended as before (%d of them rolled back by the "
                "next open), %d as after\n",
                keyed ? "keyed" : "unkeyed", secondary ? " with secondary indexes" : "", records, whole, endedBefore,
                rolledBack, endedAfter);
}

INSTANTIATE_TEST_SUITE_P(Tables, Crash,
                         ::testing::Values(Station{true, false}, Station{false, false}, Station{true, true},
                                           Station{false, true}),
                         [](const ::testing::TestParamInfo<Station>& info) {
                             return std::string(info.param.keyed ? "Keyed" : "Unkeyed") +
                                    (info.param.secondary ? "WithSecondaryIndexes" : "");
                         });

TEST(Concurrent, TwoShiftsOfOneFolderEndAsOneAfterTheOther)
{
    TempDir dir;
    const std::string pristine = dir.path() + "/pristine", work = dir.path() + "/work";
    fs::create_directories(pristine);
    buildStation(pristine, 50000, true);
    std::vector<std::map<std::string, std::vector<std::byte>>> alone; // after 15 to 20 alone, after 15 to 25 alone
    for (const char* to : {"20", "25"}) {
        copyTables(pristine, work);
        ASSERT_EQ(finish(start(shiftArgs(work, to))), 0);
        alone.push_back(tablesOf(work));
    }
    int bothRan = 0, oneRefused = 0;
    for (int round = 0; round < 8; ++round) {
        copyTables(pristine, work);
        const pid_t a = start(shiftArgs(work, "20"));
        const pid_t b = start(shiftArgs(work, "25"));
        const int ea = finish(a), eb = finish(b);
        ASSERT_TRUE((ea == 0 || ea == 1) && (eb == 0 || eb == 1)) << ea << " " << eb;
        ASSERT_TRUE(ea == 0 || eb == 0) << "round " << round << ": both refused";
        const auto now = tablesOf(work);
        // The first to take the tables moved every :15 block; the second, if
        // it ran, found none left.
        EXPECT_TRUE(now == alone[0] || now == alone[1]) << "round " << round << " left a mix";
        (ea == 0 && eb == 0 ? bothRan : oneRefused)++;
    }
    std::printf("8 rounds of two shifts at once: %d ran one after the other, %d had one refused\n", bothRan,
                oneRefused);
}

TEST(Concurrent, AShiftHeldBeforeItsMarkIsInUseForOthersThenFinishesAndIsUndone)
{
    TempDir dir;
    const std::string work = dir.path(), gate = dir.file("gate"), said = dir.file("said");
    buildStation(work, 20000, true, true);
    const auto before = tablesOf(work);
    testsupport::writeFile(gate, {});
    setenv("GRIDSHIFT_PAUSE_BEFORE_MARK", gate.c_str(), 1);
    const pid_t first = start(shiftArgs(work, "20"));
    unsetenv("GRIDSHIFT_PAUSE_BEFORE_MARK");
    for (int waited = 0; !fs::exists(gate + ".paused") && waited < 6000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(fs::exists(gate + ".paused")) << "the shift never reached its commit mark";

    // Between the tables and the mark, the tables are the first program's.
    const std::vector<std::vector<std::string>> others = {
        {"minutes", work}, shiftArgs(work, "25"), {"undo", work, "--yes"}};
    for (const auto& args : others) {
        SCOPED_TRACE(args[0]);
        EXPECT_EQ(finish(start(args, said)), 1);
        const std::vector<std::byte> text = testsupport::readFile(said);
        EXPECT_NE(std::string(reinterpret_cast<const char*>(text.data()), text.size()).find("заняты другой"),
                  std::string::npos);
    }
    fs::remove(gate);
    ASSERT_EQ(finish(first), 0);
    EXPECT_NE(tablesOf(work), before);
    ASSERT_EQ(finish(start({"undo", work, "--yes"}, said)), 0);
    EXPECT_EQ(tablesOf(work), before);
}

} // namespace

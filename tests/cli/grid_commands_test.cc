#include "cli_test_util.h"
#include "test_support.h"

#include "paradox/coding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace {

using testsupport::TempDir;
const char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

class GridCommands : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(runCommand(cli::demo, {dir.path()}).status, 0); }
    // A shift of every day and hour, confirmed.
    CommandResult shift(const char* from, const char* to, const char* size = "02:30")
    {
        return runCommand(cli::shift, {dir.path(), "--from", from, "--to", to, "--size", size, "--yes"});
    }
    TempDir dir;
};

TEST_F(GridCommands, DemoBuildsBothTablesAndNeverOverwrites)
{
    EXPECT_TRUE(testsupport::fileExists(dir.file("AdvSetBlk.db")));
    EXPECT_TRUE(testsupport::fileExists(dir.file("AdvSetBlk.px")));
    EXPECT_TRUE(testsupport::fileExists(dir.file("AdvBlock.px")));
    const CommandResult again = runCommand(cli::demo, {dir.path()});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("AdvSetBlk.db"), std::string::npos) << again.err;

    TempDir plain;
    ASSERT_EQ(runCommand(cli::demo, {plain.path(), "--unkeyed"}).status, 0);
    EXPECT_FALSE(testsupport::fileExists(plain.file("AdvSetBlk.px")));
    const CommandResult dump = runCommand(cli::dump, {plain.file("AdvSetBlk.db")});
    EXPECT_EQ(dump.out.substr(0, dump.out.find('\n')),
              "FDayOfWeek:03\tFTime:14\tFSize:14\tFName:01\tFMaxSpots:03\tFActive:09");
    EXPECT_EQ(runCommand(cli::demo, {}).status, 2);

    TempDir indexed;
    ASSERT_EQ(runCommand(cli::demo, {indexed.path(), "--secondary"}).status, 0);
    for (const char* name : {"AdvSetBlk.x03", "AdvSetBlk.yg0", "AdvBlock.xg0", "AdvBlock.xg1", "AdvBlock.y03"})
        EXPECT_TRUE(testsupport::fileExists(indexed.file(name))) << name;

    // A filling of a given length ends within a day's blocks.
    TempDir sized;
    ASSERT_EQ(runCommand(cli::demo, {sized.path(), "--records", "1000"}).status, 0);
    const std::string records = runCommand(cli::dump, {sized.file("AdvBlock.db")}).out;
    EXPECT_EQ(std::count(records.begin(), records.end(), '\n'), 1001); // and the field names
    for (const char* refused : {"0", "10000001", "1e3", ""})
        EXPECT_EQ(runCommand(cli::demo, {sized.path() + "/again", "--records", refused}).status, 2) << refused;
}

TEST_F(GridCommands, MinutesListsTheGridsMinutes)
{
    const CommandResult r = runCommand(cli::minutes, {dir.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "00\n05\n15\n22\n30\n45\n52\n57\n");
    EXPECT_EQ(r.err, ""); // no terminal, no progress bar

    TempDir empty;
    const CommandResult missing = runCommand(cli::minutes, {empty.path()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Не найдена база сетки рекламы AdvSetBlk.db\n");
    EXPECT_EQ(runCommand(cli::minutes, {}).status, 2);
}

TEST_F(GridCommands, ShiftMovesTheTickedBlocksAndReportsTheCounts)
{
    const CommandResult r = runCommand(cli::shift, {dir.path(), "--from", "15", "--to", "20", "--size", "02:30",
                                                    "--days", "0-4", "--hours", "8-11,14", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "AdvSetBlk.db: 25 records changed\nAdvBlock.db: 1300 records changed\n");
    const CommandResult listed = runCommand(cli::minutes, {dir.path()});
    EXPECT_EQ(listed.out, "00\n05\n15\n20\n22\n30\n45\n52\n57\n");
    const CommandResult dump = runCommand(cli::dump, {dir.file("AdvSetBlk.db")});
    EXPECT_NE(dump.out.find("0\t08:20:00.000\t00:02:30.000"), std::string::npos);
    EXPECT_NE(dump.out.find("5\t08:15:00.000\t00:03:00.000"), std::string::npos); // Saturday untouched
}

TEST_F(GridCommands, ShiftWithoutAnAnswerOrWithBadInputChangesNothing)
{
    const std::vector<std::byte> before = testsupport::readFile(dir.file("AdvSetBlk.db"));
    // Tests run without a terminal: the question counts as answered No.
    const CommandResult unanswered = runCommand(cli::shift,
                                                {dir.path(), "--from", "15", "--to", "20", "--size", "03:00"});
    EXPECT_EQ(unanswered.status, 1);
    EXPECT_NE(unanswered.err.find("Вы действительно хотите перенести все блоки\nрекламной сетки с 15-ой минуты на "
                                  "20-ю ?"),
              std::string::npos)
        << unanswered.err;

    // Only what a person plainly means is taken; anything else is a usage
    // error naming the argument, before the question and before any table.
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--from", "15", "--to", "20"}, "--size"},
        {{"--from", "x", "--to", "20", "--size", "03:00"}, "--from"},
        {{"--from", "15", "--to", "75", "--size", "03:00"}, "--to"},
        {{"--from", "15", "--to", "-1", "--size", "03:00"}, "--to"},
        {{"--from", "15", "--to", "5-3", "--size", "03:00"}, "--to"},
        {{"--from", "15", "--to", "-", "--size", "03:00"}, "--to"},
        {{"--from", "15", "--to", "--5", "--size", "03:00"}, "--to"},
        {{"--from", "15", "--to", "20", "--size", "garbage"}, "--size"},
        {{"--from", "15", "--to", "20", "--size", "99999999999999999999:00"}, "--size"},
        {{"--from", "15", "--to", "20", "--size", "1440:00"}, "--size"},
        {{"--from", "15", "--to", "20", "--size", "-1:00"}, "--size"},
        {{"--from", "15", "--to", "20", "--size", "3:0"}, "--size"},
        {{"--from", "15", "--to", "20", "--size", "03:00", "--days", "7"}, "--days"},
        {{"--from", "15", "--to", "20", "--size", "03:00", "--days", ""}, "--days"},
        {{"--from", "15", "--to", "20", "--size", "03:00", "--hours", "11-8"}, "--hours"},
        {{"--from", "15", "--to", "20", "--size", "03:00", "--hours", ""}, "--hours"},
        {{"--from", "15", "--to", "20", "--size", "03:00", "--bogus"}, "--bogus"},
    };
    for (const auto& [tail, named] : refused) {
        std::vector<std::string> args{dir.path()};
        args.insert(args.end(), tail.begin(), tail.end());
        args.push_back("--yes");
        const CommandResult r = runCommand(cli::shift, args);
        EXPECT_EQ(r.status, 2) << named;
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Вы "), std::string::npos) << r.err;
    }
    EXPECT_EQ(runCommand(cli::shift, {"--from", "15", "--to", "20", "--size", "03:00"}).status, 2);
    EXPECT_EQ(testsupport::readFile(dir.file("AdvSetBlk.db")), before);
    // Lengths of an hour or more are minutes counted on.
    ASSERT_EQ(shift("15", "15", "75:00").status, 0);
    EXPECT_NE(runCommand(cli::dump, {dir.file("AdvSetBlk.db")}).out.find("\t06:15:00.000\t01:15:00.000"),
              std::string::npos);
}

TEST_F(GridCommands, DryRunPrintsTheChangesAndUndoPutsAShiftBack)
{
    const std::vector<std::byte> gridBefore = testsupport::readFile(dir.file("AdvSetBlk.db"));
    const std::vector<std::byte> fillingBefore = testsupport::readFile(dir.file("AdvBlock.db"));
    const CommandResult preview = runCommand(cli::shift, {dir.path(), "--from", "15", "--to", "20", "--size",
                                                          "02:30", "--days", "0", "--hours", "8-9", "--dry-run"});
    ASSERT_EQ(preview.status, 0) << preview.err;
    EXPECT_EQ(preview.out, "AdvSetBlk.db: 2 records would change\nAdvBlock.db: 104 records would change\n"
                           "day  hour  AdvSetBlk.db  AdvBlock.db\n"
                           "0 Mon 08               1           52\n"
                           "0 Mon 09               1           52\n");
    EXPECT_EQ(testsupport::readFile(dir.file("AdvSetBlk.db")), gridBefore);
    EXPECT_EQ(testsupport::readFile(dir.file("AdvBlock.db")), fillingBefore);
    EXPECT_EQ(runCommand(cli::undo, {dir.path()}).status, 1); // nothing to undo yet

    putenv(const_cast<char*>("GRIDSHIFT_FIXED_CLOCK=2026-12-09 03:14")); // as the shift records it
    ASSERT_EQ(shift("15", "20").status, 0);
    const std::vector<std::byte> gridShifted = testsupport::readFile(dir.file("AdvSetBlk.db"));
    ASSERT_NE(gridShifted, gridBefore);
    // Without --yes it names the shift and asks; with no terminal that is No.
    const CommandResult asked = runCommand(cli::undo, {dir.path()});
    EXPECT_EQ(asked.status, 1);
    EXPECT_EQ(asked.err, "Вернуть блоки, перенесённые с 15-ой минуты на 20-ю (126 в сетке, 6552 в наполнении, "
                         "09.12.2026 03:14)? [y/N] \n(no terminal to answer on: No)\nNothing changed.\n");
    EXPECT_EQ(testsupport::readFile(dir.file("AdvSetBlk.db")), gridShifted);
    const CommandResult undone = runCommand(cli::undo, {dir.path(), "--yes"});
    ASSERT_EQ(undone.status, 0) << undone.err;
    EXPECT_EQ(undone.out,
              "Последний перенос в папке " + dir.path() +
                  " отменён: AdvSetBlk.db, AdvSetBlk.px, AdvBlock.db и AdvBlock.px снова такие, как до него.\n");
    EXPECT_EQ(testsupport::readFile(dir.file("AdvSetBlk.db")), gridBefore);
    EXPECT_EQ(testsupport::readFile(dir.file("AdvBlock.db")), fillingBefore);
    const CommandResult twice = runCommand(cli::undo, {dir.path()});
    EXPECT_EQ(twice.status, 1);
    EXPECT_EQ(twice.err, "Последний перенос в папке " + dir.path() + " уже отменён.\n");

    // After another change to a table, undo refuses and changes nothing.
    ASSERT_EQ(shift("15", "20").status, 0);
    ASSERT_EQ(shift("20", "20", "02:00").status, 0);
    std::vector<std::byte> edited = testsupport::readFile(dir.file("AdvSetBlk.db"));
    edited[0x2D] = std::byte{0x77}; // as another program's post would move the counter
    testsupport::writeFile(dir.file("AdvSetBlk.db"), edited);
    const std::vector<std::byte> fillingNow = testsupport::readFile(dir.file("AdvBlock.db"));
    const CommandResult refused = runCommand(cli::undo, {dir.path()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "Последний перенос в папке " + dir.path() + " отменить нельзя: " + dir.path() +
                               kSeparator + "AdvSetBlk.db изменён после него.\n");
    EXPECT_EQ(testsupport::readFile(dir.file("AdvSetBlk.db")), edited);
    EXPECT_EQ(testsupport::readFile(dir.file("AdvBlock.db")), fillingNow);
    EXPECT_EQ(runCommand(cli::undo, {}).status, 2);
}

// A table a writer left half-way lists and dumps as its header counts,
// saying so, and neither a shift nor an undo writes to the folder, which
// holds the journal of an earlier shift as stations' folders do. The demo's
// AdvBlock.db holds 32812 records in 887 blocks of 2 KiB after a 2 KiB
// header, its AdvSetBlk.db 631 in 14.
TEST_F(GridCommands, AHalfWrittenTableIsReadButNeverWritten)
{
    using Bytes = std::vector<std::byte>;
    // The filling's last block points on, blocks it had begun to add follow,
    // and its last record is not counted yet.
    auto filling = [](Bytes& b) {
        paradox::coding::storeLE32(b.data() + 0x06, 32811);
        paradox::coding::storeLE16(b.data() + 2048 + 886 * 2048, 888);
        b.resize(2048 + 900 * 2048);
    };
    struct Case {
        const char* table;
        void (*patch)(Bytes&);
        std::string notice; // of `minutes`
        const char* flaw;   // after the table's path
        int records;        // that the header counts
    };
    const Case cases[] = {
        {"AdvBlock.db", filling, "",
         "a writer left the table half-way: the header counts 32811 records in 887 blocks, but the file holds 900 "
         "blocks, the chain goes on to block 888 and the chain's blocks hold 32812 records",
         32811},
        {"AdvSetBlk.db", [](Bytes& b) { paradox::coding::storeLE32(b.data() + 0x06, 630); },
         "Таблица AdvSetBlk.db записана не до конца (по заголовку записей: 630, блоков: 14; в файле блоков: 14; в "
         "блоках записей: 631): показаны записи по заголовку, а изменять её можно только после исправления "
         "утилитой восстановления таблиц самой базы данных\n",
         "a writer left the table half-way: the header counts 630 records in 14 blocks, but the file holds 14 "
         "blocks and the chain's blocks hold 631 records",
         630},
    };
    ASSERT_EQ(shift("15", "20").status, 0);
    auto folder = [&] {
        std::map<std::string, Bytes> files;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            files[e.path().filename().string()] = testsupport::readFile(e.path().string());
        return files;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        const std::string path = dir.path() + kSeparator + c.table;
        const std::string whole = runCommand(cli::dump, {path}).out;
        const Bytes sound = testsupport::readFile(path);
        Bytes bytes = sound;
        c.patch(bytes);
        testsupport::writeFile(path, bytes);
        const auto before = folder();

        const CommandResult listed = runCommand(cli::minutes, {dir.path()});
        EXPECT_EQ(listed.out, "00\n05\n20\n22\n30\n45\n52\n57\n");
        EXPECT_EQ(listed.err, c.notice);
        const CommandResult dumped = runCommand(cli::dump, {path});
        EXPECT_EQ(dumped.out, whole.substr(0, whole.rfind('\n', whole.size() - 2) + 1)); // the last uncounted
        EXPECT_EQ(dumped.err, path + ": " + c.flaw + "; the " + std::to_string(c.records) +
                                  " records the header counts are read\n");
        const CommandResult shifted = shift("20", "25", "03:00");
        EXPECT_EQ(shifted.status, 1);
        const std::string refusal = path + ": " + c.flaw +
                                    "; the database's own table-repair tool must mend it before it can be changed\n";
        EXPECT_EQ(shifted.err, c.notice + refusal);
        const CommandResult undone = runCommand(cli::undo, {dir.path()});
        EXPECT_EQ(undone.status, 1);
        EXPECT_EQ(undone.err, "Последний перенос в папке " + dir.path() + " отменить нельзя: " + refusal);
        EXPECT_EQ(folder(), before);
        testsupport::writeFile(path, sound);
    }
}

TEST_F(GridCommands, AJournalSetAsideStopsEveryWriteButNotReading)
{
    ASSERT_EQ(shift("15", "16").status, 0);
    // The shift's record, its mark gone and a bit flipped.
    std::vector<std::byte> journal = testsupport::readFile(dir.file("gridshift.jnl"));
    std::fill(journal.end() - 16, journal.end(), std::byte{0});
    journal[journal.size() / 2] ^= std::byte{0x10};
    testsupport::writeFile(dir.file("gridshift.jnl"), journal);
    const std::vector<std::byte> grid = testsupport::readFile(dir.file("AdvSetBlk.db"));
    const std::string setAside = dir.path() + kSeparator + "gridshift.jnl.damaged",
                      advice = "Проверьте таблицы и удалите этот файл: до тех пор таблицы в папке не изменяются.",
                      refusal = "В папке лежит отложенная запись о прерванном переносе " + setAside + ". " + advice;
    const CommandResult listed = runCommand(cli::minutes, {dir.path()});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out, "00\n05\n16\n22\n30\n45\n52\n57\n");
    EXPECT_EQ(listed.err, "Запись о переносе в папке " + dir.path() + " повреждена и отложена как " + setAside +
                              "; по её уцелевшим частям перенос записан в таблицы полностью. " + advice + "\n");
    EXPECT_EQ(runCommand(cli::minutes, {dir.path()}).err, refusal + "\n");
    const CommandResult shifted = shift("16", "15");
    EXPECT_EQ(shifted.status, 1);
    EXPECT_NE(shifted.err.find(refusal), std::string::npos) << shifted.err;
    const CommandResult undone = runCommand(cli::undo, {dir.path()});
    EXPECT_EQ(undone.status, 1);
    EXPECT_EQ(undone.err, refusal + "\n");
    EXPECT_EQ(testsupport::readFile(dir.file("AdvSetBlk.db")), grid);

    std::filesystem::remove(setAside);
    EXPECT_EQ(shift("16", "15").status, 0);
}

} // namespace

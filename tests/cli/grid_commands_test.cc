#include "cli_test_util.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using testsupport::TempDir;

class GridCommands : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(runCommand(cli::demo, {dir.path()}).status, 0); }
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
}

TEST_F(GridCommands, MinutesListsTheGridsMinutes)
{
    const CommandResult r = runCommand(cli::minutes, {dir.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "00\n05\n15\n22\n30\n45\n52\n57\n");
    EXPECT_EQ(r.err, "");  // no terminal, no progress bar

    TempDir empty;
    const CommandResult missing = runCommand(cli::minutes, {empty.path()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Не найдена база сетки рекламы AdvSetBlk.db\n");
    EXPECT_EQ(runCommand(cli::minutes, {}).status, 2);
}

TEST_F(GridCommands, ShiftMovesTheTickedBlocksAndReportsTheCounts)
{
    const CommandResult r = runCommand(
        cli::shift, {dir.path(), "--from", "15", "--to", "20", "--size", "02:30", "--days", "0-4", "--hours",
                     "8-11,14", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "AdvSetBlk.db: 25 records changed\nAdvBlock.db: 1300 records changed\n");
    const CommandResult listed = runCommand(cli::minutes, {dir.path()});
    EXPECT_EQ(listed.out, "00\n05\n15\n20\n22\n30\n45\n52\n57\n");
    const CommandResult dump = runCommand(cli::dump, {dir.file("AdvSetBlk.db")});
    EXPECT_NE(dump.out.find("0\t08:20:00.000\t00:02:30.000"), std::string::npos);
    EXPECT_NE(dump.out.find("5\t08:15:00.000\t00:03:00.000"), std::string::npos);  // Saturday untouched
}

TEST_F(GridCommands, ShiftWithoutAnAnswerOrWithBadInputChangesNothing)
{
    const std::vector<std::byte> before = testsupport::readFile(dir.file("AdvSetBlk.db"));
    // Tests run without a terminal: the question counts as answered No.
    const CommandResult unanswered =
        runCommand(cli::shift, {dir.path(), "--from", "15", "--to", "20", "--size", "03:00"});
    EXPECT_EQ(unanswered.status, 1);
    EXPECT_NE(unanswered.err.find("Вы действительно хотите перенести все блоки\nрекламной сетки с 15-ой минуты на "
                                  "20-ю ?"),
              std::string::npos)
        << unanswered.err;

    const CommandResult tooLate =
        runCommand(cli::shift, {dir.path(), "--from", "15", "--to", "75", "--size", "03:00", "--yes"});
    EXPECT_EQ(tooLate.status, 1);
    EXPECT_NE(tooLate.err.find("Invalid argument to time encode"), std::string::npos) << tooLate.err;
    const CommandResult negative =
        runCommand(cli::shift, {dir.path(), "--from", "15", "--to", "-1", "--size", "03:00", "--yes"});
    EXPECT_EQ(negative.status, 1);
    EXPECT_NE(negative.err.find("Range check error"), std::string::npos) << negative.err;
    EXPECT_EQ(testsupport::readFile(dir.file("AdvSetBlk.db")), before);

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {dir.path(), "--from", "15", "--to", "20"},
             {dir.path(), "--from", "x", "--to", "20", "--size", "03:00"},
             {dir.path(), "--from", "15", "--to", "20", "--size", "03:00", "--days", "7"},
             {dir.path(), "--from", "15", "--to", "20", "--size", "03:00", "--hours", "11-8"},
             {dir.path(), "--from", "15", "--to", "20", "--size", "03:00", "--bogus"},
             {"--from", "15", "--to", "20", "--size", "03:00"}}) {
        EXPECT_EQ(runCommand(cli::shift, args).status, 2) << args.back();
    }
    EXPECT_EQ(testsupport::readFile(dir.file("AdvSetBlk.db")), before);
}

} // namespace

#include "faulty_file_system.h"
#include "grid_tables.h"
#include "grid_test_util.h"
#include "test_support.h"

#include "grid/data_set.h"

#include <gtest/gtest.h>

namespace {

using testsupport::TempDir;

class DataSets : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::writeGridTable(grid, {{0, 10, 15}, {0, 10, 45}, {1, 10, 15}, {2, 0, 0}});
        testsupport::writeFillingTable(filling, {{2026, 3, 2, 10, 15}});
    }

    TempDir dir;
    std::string grid = dir.file("AdvSetBlk.db");
    std::string filling = dir.file("AdvBlock.db");
};

TEST_F(DataSets, TableErrorsCarryTheDataSetName)
{
    grid::TableDataSet table;
    table.setTableName(grid);
    table.open();
    table.open(); // opening an open data set does nothing
    EXPECT_EQ(messageOf([&] { table.fieldByName("FMinute"); }), "Table1: Field 'FMinute' not found");
    EXPECT_EQ(table.fieldByName("FTIME"), 1);
    EXPECT_EQ(messageOf([&] { table.asInteger(table.fieldByName("FTime")); }),
              "Cannot access field 'FTime' as type Integer");
    EXPECT_EQ(messageOf([&] { table.asDateTime(table.fieldByName("FDayOfWeek")); }),
              "Cannot access field 'FDayOfWeek' as type DateTime");
    // The same name again is fine while open; another is refused.
    table.setTableName(grid);
    EXPECT_EQ(messageOf([&] { table.setTableName(filling); }),
              "Table1: Cannot perform this operation on an open dataset");
    EXPECT_EQ(table.tableName(), grid);
    table.close();
    table.setTableName(filling);
    EXPECT_EQ(messageOf([&] { table.eof(); }), "Table1: Cannot perform this operation on a closed dataset");
}

TEST_F(DataSets, ATableThatCannotBeWrittenOpensButRefusesEdits)
{
    testsupport::FaultyFileSystem fs;
    fs.refuseWriteOpen = true;
    grid::TableDataSet table;
    table.setFileSystem(&fs);
    table.setTableName(grid);
    table.open();
    EXPECT_EQ(table.recordCount(), 4);
    EXPECT_EQ(messageOf([&] { table.edit(); }), "Table1: Cannot modify a read-only dataset");
}

TEST_F(DataSets, AMissingTableGivesTheLibrarysText)
{
    grid::TableDataSet table;
    table.setTableName(dir.file("Nothing.db"));
    const std::string message = messageOf([&] { table.open(); });
    EXPECT_NE(message.find("Nothing.db"), std::string::npos) << message;
    EXPECT_FALSE(table.active());
}

TEST_F(DataSets, TheQueryReturnsDistinctTimesInOrder)
{
    grid::QueryDataSet query;
    query.addSql("SELECT DISTINCT FTIME FROM \"" + grid + "\"");
    query.addSql("ORDER BY FTIME");
    query.open();
    EXPECT_EQ(query.recordCount(), 3);
    std::vector<paradox::TimeOfDay> times;
    for (; !query.eof(); query.next())
        times.push_back(paradox::decodeTime(query.asDateTime(query.fieldByName("FTime"))));
    EXPECT_EQ(times, (std::vector<paradox::TimeOfDay>{{0, 0, 0, 0}, {10, 15, 0, 0}, {10, 45, 0, 0}}));
    EXPECT_EQ(messageOf([&] { query.addSql("x"); }), "Query1: Cannot perform this operation on an open dataset");
    query.close();

    // Keywords in any case; without DISTINCT every row comes back.
    query.clearSql();
    query.addSql("select ftime from \"" + grid + "\" order by FTime");
    query.open();
    EXPECT_EQ(query.recordCount(), 4);
    EXPECT_EQ(messageOf([&] { query.fieldByName("FSize"); }), "Query1: Field 'FSize' not found");
}

TEST_F(DataSets, TheQueryRejectsWhatItDoesNotUnderstand)
{
    const std::string from = " FROM \"" + grid + "\"";
    for (const std::string& sql : {std::string("SELECT * FROM \"x.db\""), std::string("DELETE FROM \"x.db\""),
                                   "SELECT DISTINCT FTIME" + from + " WHERE FTIME > 0",
                                   "SELECT FTIME" + from + " ORDER BY FSIZE", std::string("SELECT FTIME FROM x.db"),
                                   std::string("SELECT FTIME FROM \"x.db"), "SELECT FTIME, FSIZE" + from}) {
        grid::QueryDataSet query;
        query.addSql(sql);
        const std::string message = messageOf([&] { query.open(); });
        EXPECT_EQ(message.rfind("Query1: Invalid SQL: ", 0), 0u) << sql << " -> " << message;
        EXPECT_FALSE(query.active());
    }
    grid::QueryDataSet query;
    query.addSql("SELECT FNAME" + from);
    query.open();
    EXPECT_EQ(messageOf([&] { query.asDateTime(query.fieldByName("FNAME")); }),
              "Cannot access field 'FNAME' as type DateTime");
}

} // namespace

#include "table_fixtures.h"

#include <gtest/gtest.h>

namespace {

using fixtures::differingOffsets;
using paradox::Status;
using paradox::Table;
using testsupport::readFile;
using Bytes = std::vector<std::byte>;

// One day of the grid, ten 26-byte records to a 2 KiB block: 96 records in
// ten blocks, the last holding six, which end at byte 20642. Both files are
// cut in the middle of their last block, as the engine leaves such tables.
constexpr std::size_t kHeader = 0x800;
constexpr std::size_t kBlock = 2048;
constexpr std::size_t kLastRecord = kHeader + 9 * kBlock + 6 + 5 * 26;
constexpr std::size_t kCutDb = kHeader + 9 * kBlock + kBlock / 2;
constexpr std::size_t kCutPx = kHeader + kBlock / 2;

void cut(const std::string& path, std::size_t size)
{
    Bytes bytes = readFile(path);
    ASSERT_GT(bytes.size(), size);
    bytes.resize(size);
    testsupport::writeFile(path, bytes);
}

class ShortLastBlock : public ::testing::Test {
protected:
    void SetUp() override
    {
        fixtures::FillingShape shape;
        shape.days = 1;
        shape.recordsPerBlock = 10;
        fixtures::buildFilling(db, shape);
        cut(db, kCutDb);
        cut(px, kCutPx);
    }

    testsupport::TempDir dir;
    const std::string db = dir.file("T.db");
    const std::string px = dir.file("T.px");
};

TEST_F(ShortLastBlock, EveryRecordReadsAndTheLastTakesWrites)
{
    std::unique_ptr<Table> table = fixtures::openTable(db);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->recordCount(), 96u);
    for (int i = 0; i < 95; ++i)
        table->next();
    const int id = table->fieldIndex("FId");
    std::int64_t last = -1;
    ASSERT_TRUE(table->readInteger(id, &last).isOk());
    EXPECT_EQ(last, 95);

    // In place: the change counter and the last record's FSize (bytes 12-15,
    // 00:03 to 00:07) change.
    const Bytes dbBefore = readFile(db), pxBefore = readFile(px);
    ASSERT_TRUE(table->edit().isOk());
    ASSERT_TRUE(table->setDateTime(table->fieldIndex("FSize"), 7.0 / 1440).isOk());
    Status st = table->post();
    ASSERT_TRUE(st.isOk()) << st.message();
    st = testsupport::commitPosts(*table);
    ASSERT_TRUE(st.isOk()) << st.message();
    // Closed to be read: Windows lets no one else read a table held for writing.
    ASSERT_TRUE(table->close().isOk());
    EXPECT_EQ(differingOffsets(dbBefore, readFile(db)),
              (std::vector<std::size_t>{0x2D, kLastRecord + 13, kLastRecord + 14, kLastRecord + 15}));
    EXPECT_EQ(differingOffsets(pxBefore, readFile(px)), std::vector<std::size_t>{0x2C});

    // Its key, 23:45 to 00:05: records move through every block and the
    // index keys follow, all inside the files.
    table = fixtures::openTable(db);
    ASSERT_NE(table, nullptr);
    table->seek(95);
    ASSERT_TRUE(table->edit().isOk());
    ASSERT_TRUE(table->setDateTime(table->fieldIndex("FTime"), 5.0 / 1440).isOk());
    st = table->post();
    ASSERT_TRUE(st.isOk()) << st.message();
    st = testsupport::commitPosts(*table);
    ASSERT_TRUE(st.isOk()) << st.message();
    ASSERT_TRUE(table->close().isOk());
    EXPECT_EQ(readFile(db).size(), kCutDb);

    table = fixtures::openTable(db);
    ASSERT_NE(table, nullptr);
    table->next();
    ASSERT_TRUE(table->readInteger(id, &last).isOk());
    EXPECT_EQ(last, 95);
    st = table->edit(); // loads and checks the index again
    EXPECT_TRUE(st.isOk()) << st.message();
}

TEST_F(ShortLastBlock, RecordsOrIndexEntriesNotAllThereAreRefused)
{
    cut(px, kHeader + 6 + 10 * 14 - 1);
    std::unique_ptr<Table> table = fixtures::openTable(db);
    ASSERT_NE(table, nullptr);
    Status st = table->edit();
    EXPECT_EQ(st.message(), db + ": its primary index T.px does not match the table (index block 1 runs past the "
                                 "end of the file)");
    table.reset();

    cut(db, kLastRecord + 25);
    st = Table::open(db, {}, &table);
    EXPECT_EQ(st.code(), Status::Code::Corruption);
    EXPECT_EQ(st.message(), db + ": block 10 holds 6 records up to byte 20642 but the file holds only 20641 bytes");
}

TEST_F(ShortLastBlock, AWriteOutsideTheFileIsRefusedNamingIt)
{
    const Bytes before = readFile(db);
    std::unique_ptr<paradox::File> file;
    ASSERT_TRUE(paradox::FileSystem::standard().open(db, paradox::OpenMode::ReadWrite, &file).isOk());
    // A record slot after the last record: inside the block, not the file.
    const std::byte record[26] = {};
    const Status st = file->writeAt(kCutDb - 10, record);
    EXPECT_EQ(st.message(), db + ": write past the end of the file");
    EXPECT_TRUE(file->close().isOk());
    EXPECT_EQ(readFile(db), before);
}

// The sample's primary index ends halfway through its only block.
TEST(ShortLastBlockSample, AreaCodesCanBeEdited)
{
    if (testsupport::samplesDir().empty())
        GTEST_SKIP() << "the sample tables (../shared/paradox/samples) are not in this clone";
    testsupport::TempDir dir;
    ASSERT_GT(testsupport::copyFamily(testsupport::samplesDir() + "/db", "AREACODE", dir.path()), 0);
    std::unique_ptr<Table> table = fixtures::openTable(dir.file("AREACODE.DB"));
    ASSERT_NE(table, nullptr);
    const Status st = table->edit();
    EXPECT_TRUE(st.isOk()) << st.message();
}

} // namespace

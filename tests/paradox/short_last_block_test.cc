#include "table_fixtures.h"

#include "paradox/coding.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using fixtures::differingOffsets;
using paradox::Status;
using paradox::Table;
using testsupport::readFile;
using testsupport::TempDir;
using Bytes = std::vector<std::byte>;

// One day of the grid, ten 26-byte records to a 2 KiB block: 96 records in
// ten blocks, the last holding six. Its records end at byte 20642; the file
// is cut in the middle of that block, as the engine leaves such files, and
// the index (one 2 KiB block of ten entries) likewise.
constexpr std::size_t kHeader = 0x800;
constexpr std::size_t kBlock = 2048;
constexpr std::size_t kRecord = 26;
constexpr std::size_t kLastBlock = kHeader + 9 * kBlock;
constexpr std::size_t kRecordsEnd = kLastBlock + 6 + 6 * kRecord;
constexpr std::size_t kCutDb = kLastBlock + kBlock / 2;
constexpr std::size_t kCutPx = kHeader + kBlock / 2;

std::size_t recordAt(std::size_t r) { return kHeader + r / 10 * kBlock + 6 + r % 10 * kRecord; }

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
        ASSERT_EQ(readFile(db).size(), kHeader + 10 * kBlock);
        cut(db, kCutDb);
        cut(px, kCutPx);
    }

    static paradox::DateTime minutes(int m) { return m / 1440.0; }

    TempDir dir;
    const std::string db = dir.file("T.db");
    const std::string px = dir.file("T.px");
};

TEST_F(ShortLastBlock, EveryRecordReadsAndTheLastOnesTakeWrites)
{
    std::unique_ptr<Table> table = fixtures::openTable(db);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->recordCount(), 96u);
    const int id = table->fieldIndex("FId");
    const int time = table->fieldIndex("FTime");
    const int size = table->fieldIndex("FSize");
    std::int64_t expected = 0;
    for (table->first(); !table->eof(); table->next()) {
        std::int64_t v = -1;
        ASSERT_TRUE(table->readInteger(id, &v).isOk());
        EXPECT_EQ(v, expected++);
    }
    EXPECT_EQ(expected, 96);

    // The last record, in place: its FSize bytes and the stamps change, and
    // neither file grows.
    const Bytes dbBefore = readFile(db), pxBefore = readFile(px);
    table->first();
    for (int i = 0; i < 95; ++i)
        table->next();
    ASSERT_TRUE(table->edit().isOk());
    ASSERT_TRUE(table->setDateTime(size, minutes(7)).isOk());
    Status st = table->post();
    ASSERT_TRUE(st.isOk()) << st.message();
    const std::vector<std::size_t> changed = differingOffsets(dbBefore, readFile(db));
    ASSERT_FALSE(changed.empty());
    EXPECT_EQ(changed.front(), 0x2Du);
    for (std::size_t i = 1; i < changed.size(); ++i) {
        EXPECT_GE(changed[i], recordAt(95) + 12);
        EXPECT_LT(changed[i], recordAt(95) + 16);
    }
    EXPECT_EQ(differingOffsets(pxBefore, readFile(px)), std::vector<std::size_t>{0x2C});

    // Its key, moving it to the front: every block's first record and the
    // index entries change, all inside the files.
    ASSERT_TRUE(table->edit().isOk());
    ASSERT_TRUE(table->setDateTime(time, minutes(5)).isOk());
    st = table->post();
    ASSERT_TRUE(st.isOk()) << st.message();
    ASSERT_TRUE(table->close().isOk());
    EXPECT_EQ(readFile(db).size(), kCutDb);
    EXPECT_EQ(readFile(px).size(), kCutPx);

    table = fixtures::openTable(db);
    ASSERT_NE(table, nullptr);
    std::vector<std::int64_t> ids;
    for (table->first(); !table->eof(); table->next()) {
        std::int64_t v = -1;
        ASSERT_TRUE(table->readInteger(id, &v).isOk());
        ids.push_back(v);
    }
    ASSERT_EQ(ids.size(), 96u);
    EXPECT_EQ(ids[0], 0);
    EXPECT_EQ(ids[1], 95);
    EXPECT_EQ(ids[95], 94);
    // The index still matches the table: a new edit loads it again.
    table->first();
    st = table->edit();
    EXPECT_TRUE(st.isOk()) << st.message();
}

TEST_F(ShortLastBlock, ARecordThatIsNotAllThereIsRefused)
{
    cut(db, kRecordsEnd - 1);
    std::unique_ptr<Table> table;
    const Status st = Table::open(db, {}, &table);
    EXPECT_EQ(st.code(), Status::Code::Corruption);
    EXPECT_EQ(st.message(), db + ": block 10 holds 6 records up to byte 20642 but the file holds only 20641 bytes");
}

TEST_F(ShortLastBlock, AnIndexEntryThatIsNotAllThereRefusesEdits)
{
    cut(px, kHeader + 6 + 10 * 14 - 1);
    std::unique_ptr<Table> table = fixtures::openTable(db);
    ASSERT_NE(table, nullptr);
    const Status st = table->edit();
    EXPECT_EQ(st.code(), Status::Code::NotSupported);
    EXPECT_EQ(st.message(), db + ": its primary index T.px does not match the table (index block 1 runs past the "
                                 "end of the file)");
}

TEST_F(ShortLastBlock, AWriteOutsideTheFileIsRefusedNamingIt)
{
    const Bytes before = readFile(db);
    std::unique_ptr<paradox::File> file;
    ASSERT_TRUE(paradox::FileSystem::standard().open(db, paradox::OpenMode::ReadWrite, &file).isOk());
    const std::byte bytes[kRecord] = {};
    // The slot after the last record is in the block but not in the file.
    const Status st = file->writeAt(kCutDb - 10, bytes);
    EXPECT_EQ(st.code(), Status::Code::InvalidArgument);
    EXPECT_EQ(st.message(), db + ": write past the end of the file");
    EXPECT_TRUE(file->close().isOk());
    EXPECT_EQ(readFile(db), before);
}

// The sample's primary index ends halfway through its only block.
TEST(ShortLastBlockSample, AreaCodesCanBeEdited)
{
    if (testsupport::samplesDir().empty())
        GTEST_SKIP() << "the sample tables (../shared/paradox/samples) are not in this clone";
    TempDir dir;
    ASSERT_GT(testsupport::copyFamily(testsupport::samplesDir() + "/db", "AREACODE", dir.path()), 0);
    ASSERT_LT(readFile(dir.file("AREACODE.PX")).size(), 4096u);
    std::unique_ptr<Table> table = fixtures::openTable(dir.file("AREACODE.DB"));
    ASSERT_NE(table, nullptr);
    const Status st = table->edit();
    EXPECT_TRUE(st.isOk()) << st.message();
    table->cancel();
}

} // namespace

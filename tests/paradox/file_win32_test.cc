// Windows' own file handling: tables held by another process through sharing
// modes and byte-range locks. Folder names in other scripts and in any letter
// case are tested with the grid's operations (tests/grid/engine_win32_test.cc).
#include "foreign_holder_win32.h"
#include "table_fixtures.h"

#include "paradox/file.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using fixtures::buildFilling;
using fixtures::FillingShape;
using paradox::FileSystem;
using paradox::OpenMode;
using paradox::Status;
using testsupport::ForeignHolder;
using testsupport::readFile;
using testsupport::TempDir;

class WindowsSharing : public ::testing::Test {
protected:
    void SetUp() override { buildFilling(db, FillingShape{}); }

    // Posts a new FSize into the first record; the first step that fails.
    Status tryPost()
    {
        std::unique_ptr<paradox::Table> table;
        paradox::Table::Options o;
        Status st = paradox::Table::open(db, o, &table);
        if (!st.isOk())
            return st;
        st = table->edit();
        if (st.isOk())
            st = table->setDateTime(table->fieldIndex("FSize"), 0.25);
        if (st.isOk())
            st = table->post();
        table->cancel();
        const Status closed = table->close();
        EXPECT_TRUE(closed.isOk()) << closed.message();
        return st;
    }

    void expectInUse(const std::string& reasonPart)
    {
        const std::vector<std::byte> before = readFile(db);
        const Status st = tryPost();
        EXPECT_EQ(st.code(), Status::Code::InUse) << st.message();
        EXPECT_NE(st.message().find(reasonPart), std::string::npos) << st.message();
        EXPECT_EQ(readFile(db), before);
    }

    FileSystem& fs = FileSystem::standard();
    TempDir dir;
    std::string db = dir.path() + "\\AdvBlock.db";
};

TEST_F(WindowsSharing, AProgramWithTheTableOpenHoldsOffWritersButNotReaders)
{
    const std::vector<std::byte> bytes = readFile(db);
    for (const char* mode : {"shared", "range-lock"}) {
        SCOPED_TRACE(mode);
        ForeignHolder holder(mode, db);
        std::unique_ptr<paradox::File> reader;
        ASSERT_TRUE(fs.open(db, OpenMode::ReadOnly, &reader).isOk());
        EXPECT_TRUE(std::ranges::equal(reader->contents(), bytes));
        bool locked = false;
        ASSERT_TRUE(fs.probeLock(db, &locked).isOk());
        EXPECT_TRUE(locked);

        std::unique_ptr<paradox::File> writer;
        ASSERT_TRUE(fs.open(db, OpenMode::ReadWrite, &writer).isOk());
        EXPECT_EQ(writer->lockExclusive().code(), Status::Code::InUse);
        // A refused lock leaves the file open for reading as before.
        EXPECT_TRUE(std::ranges::equal(writer->contents(), bytes));
        reader.reset();
        writer.reset();
        expectInUse("in use by another program");
    }
    bool locked = true;
    ASSERT_TRUE(fs.probeLock(db, &locked).isOk());
    EXPECT_FALSE(locked);
    EXPECT_TRUE(tryPost().isOk());
}

TEST_F(WindowsSharing, ATableWhoseBytesOrWritesAnotherProgramDeniesIsInUse)
{
    {
        // Windows refuses reads of locked bytes (Wine lets them through).
        ForeignHolder holder("data-lock", db);
        std::unique_ptr<paradox::File> file;
        const Status st = fs.open(db, OpenMode::ReadOnly, &file);
        if (!st.isOk()) {
            EXPECT_EQ(st.code(), Status::Code::InUse) << st.message();
        }
        expectInUse("in use by another program");
    }
    {
        // Opened letting others only read: readers go on, writers are told why.
        ForeignHolder holder("deny-write", db);
        std::unique_ptr<paradox::File> file;
        EXPECT_TRUE(fs.open(db, OpenMode::ReadOnly, &file).isOk());
        const Status st = fs.open(db, OpenMode::ReadWrite, &file);
        EXPECT_EQ(st.code(), Status::Code::InUse) << st.message();
        expectInUse("in use by another program");
    }
    EXPECT_TRUE(tryPost().isOk());
}

TEST_F(WindowsSharing, LockFilesHeldByAnotherProgramStopWrites)
{
    for (const char* lockFile : {"AdvBlock.lck", "PDOXUSRS.LCK"}) {
        SCOPED_TRACE(lockFile);
        const std::string lck = dir.path() + "\\" + lockFile;
        testsupport::writeFile(lck, std::vector<std::byte>(16));
        {
            ForeignHolder holder("range-lock", lck);
            expectInUse(std::string(lockFile) + " is locked");
        }
        // A lock file nobody holds is left over from an earlier session.
        EXPECT_TRUE(tryPost().isOk());
    }
}

// Runs written in one request end as each written in turn would leave them,
// on disk and in contents(): here runs under a page apart, a page apart, and
// more than one joined write's worth.
TEST(WindowsWrites, RunsEndAsIfEachWereWrittenInTurn)
{
    constexpr std::uint64_t kSize = 3 << 20;
    TempDir dir;
    const std::string path = dir.path() + "\\runs.bin";
    std::vector<std::byte> expected(kSize), ramp(256);
    for (std::size_t i = 0; i < expected.size(); ++i)
        expected[i] = static_cast<std::byte>(i * 7 % 251);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<std::byte>(i);
    testsupport::writeFile(path, expected);
    std::vector<paradox::File::Run> runs = {
        {10, {ramp.data(), 4}}, {14, {ramp.data() + 9, 4}}, {4113, {ramp.data(), 3}}, {8212, {ramp.data() + 1, 3}}};
    for (std::uint64_t at = 9000; at + 8 < kSize; at += 601)
        runs.push_back({at, {ramp.data() + at % 200, 8}});
    for (const paradox::File::Run& r : runs)
        std::copy(r.data.begin(), r.data.end(), expected.begin() + static_cast<std::ptrdiff_t>(r.offset));
    std::unique_ptr<paradox::File> file;
    ASSERT_TRUE(FileSystem::standard().open(path, OpenMode::ReadWrite, &file).isOk());
    ASSERT_TRUE(file->writeRuns(runs).isOk());
    EXPECT_TRUE(std::ranges::equal(file->contents(), expected));
    // A request reaching past the end writes none of its runs.
    const std::byte other = ~expected[0];
    const paradox::File::Run refused[] = {{0, {&other, 1}}, {kSize - 1, {ramp.data(), 2}}};
    EXPECT_EQ(file->writeRuns(refused).code(), Status::Code::InvalidArgument);
    ASSERT_TRUE(file->close().isOk());
    EXPECT_EQ(readFile(path), expected);
}

} // namespace

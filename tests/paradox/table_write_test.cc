#include "faulty_file_system.h"
#include "table_fixtures.h"

#include "paradox/coding.h"
#include "paradox/journal.h"
#include "paradox/primary_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace {

using fixtures::buildFilling;
using fixtures::differingOffsets;
using fixtures::FillingShape;
using fixtures::openTable;
using paradox::DateTime;
using paradox::Status;
using testsupport::readFile;
using testsupport::TempDir;

// Header of a table file and of its primary index, as written by the builder.
constexpr std::size_t kTableHeader = 0x800;
constexpr std::size_t kCounter = 0x2D;    // table: +1 per post
constexpr std::size_t kIndexStamp = 0x2C; // .PX: follows the counter

DateTime at(int hour, int minute, int second = 0)
{
    DateTime t = 0;
    EXPECT_TRUE(paradox::encodeTime(static_cast<unsigned>(hour), static_cast<unsigned>(minute),
                                    static_cast<unsigned>(second), 0, &t)
                    .isOk());
    return t;
}

struct Cursor {
    paradox::Table& t;
    int date = t.fieldIndex("FDate");
    int time = t.fieldIndex("ftime"); // names match without regard to letter case
    int id = t.fieldIndex("FID");
    int size = t.fieldIndex("FSize");

    std::int64_t currentId()
    {
        std::int64_t v = -1;
        EXPECT_TRUE(t.readInteger(id, &v).isOk());
        return v;
    }
    paradox::TimeOfDay currentTime()
    {
        DateTime v = 0;
        EXPECT_TRUE(t.readDateTime(time, &v).isOk());
        return paradox::decodeTime(v);
    }
    void seekId(std::int64_t wanted)
    {
        for (t.first(); !t.eof(); t.next())
            if (currentId() == wanted)
                return;
        FAIL() << "no record " << wanted;
    }
    Status setAndPost(int field, DateTime value)
    {
        Status st = t.edit();
        if (st.isOk())
            st = t.setDateTime(field, value);
        if (st.isOk())
            st = t.post();
        return st;
    }
};

// Record positions of records are easiest to find through the file itself:
// the builder fills blocks in order, so record r of the table order sits here.
std::size_t recordOffset(std::size_t r, std::size_t recordSize, std::size_t perBlock, std::size_t blockSize)
{
    return kTableHeader + (r / perBlock) * blockSize + 6 + (r % perBlock) * recordSize;
}

class TableWrite : public ::testing::Test {
protected:
    TempDir dir;
    std::string db = dir.file("AdvBlock.db");
    std::string px = dir.file("AdvBlock.px");
};

TEST_F(TableWrite, PostsChangeOnlyTheFieldAndTheChangeStamps)
{
    struct Case {
        bool keyed;
        paradox::FieldType timeType;
        const char* field; // an unkeyed table's FTime, or a keyed one's non-key FSize
    };
    for (const Case& c :
         {Case{false, paradox::FieldType::Time, "FTime"}, Case{false, paradox::FieldType::Timestamp, "FTime"},
          Case{true, paradox::FieldType::Time, "FSize"}}) {
        SCOPED_TRACE(std::string(c.keyed ? "keyed " : "unkeyed ") + c.field);
        TempDir d;
        const std::string path = d.file("T.db");
        FillingShape shape;
        shape.keyed = c.keyed;
        shape.timeType = c.timeType;
        shape.recordsPerBlock = 10;
        buildFilling(path, shape);
        const std::vector<std::byte> dbBefore = readFile(path);
        const std::vector<std::byte> pxBefore = c.keyed ? readFile(d.file("T.px")) : std::vector<std::byte>{};

        auto table = openTable(path);
        Cursor cur{*table};
        const int field = table->fieldIndex(c.field);
        const paradox::Field& f = table->fields()[static_cast<std::size_t>(field)];
        std::size_t rs = 0;
        for (const paradox::Field& each : table->fields())
            rs += static_cast<std::size_t>(each.length);
        std::vector<std::size_t> expected;
        for (std::int64_t id : {3, 41, 42}) {
            cur.seekId(id);
            ASSERT_TRUE(cur.setAndPost(field, at(7, 59, 30)).isOk());
            const std::size_t rec = recordOffset(static_cast<std::size_t>(id), rs, 10, 2048);
            for (int k = 0; k < f.length; ++k)
                expected.push_back(rec + static_cast<std::size_t>(f.offset + k));
        }
        // Writing the value a field already holds changes nothing at all.
        cur.seekId(41);
        ASSERT_TRUE(cur.setAndPost(field, at(7, 59, 30)).isOk());
        // Nothing reaches the file before the transaction. (Windows lets no
        // other handle read a file held for writing.)
#if !defined(_WIN32)
        EXPECT_EQ(readFile(path), dbBefore);
#endif
        ASSERT_TRUE(testsupport::commitPosts(*table).isOk());
        ASSERT_TRUE(table->close().isOk());

        const std::vector<std::byte> dbAfter = readFile(path);
        std::vector<std::size_t> diff = differingOffsets(dbBefore, dbAfter);
        expected.push_back(kCounter);
        std::sort(expected.begin(), expected.end());
        std::vector<std::size_t> changedBytes;
        std::copy_if(expected.begin(), expected.end(), std::back_inserter(changedBytes),
                     [&](std::size_t o) { return dbBefore[o] != dbAfter[o]; });
        EXPECT_EQ(diff, changedBytes);
        EXPECT_EQ(std::to_integer<int>(dbAfter[kCounter]), std::to_integer<int>(dbBefore[kCounter]) + 3);
        if (c.keyed) {
            const std::vector<std::byte> pxAfter = readFile(d.file("T.px"));
            EXPECT_EQ(differingOffsets(pxBefore, pxAfter), std::vector<std::size_t>{kIndexStamp});
            EXPECT_EQ(std::to_integer<int>(pxAfter[kIndexStamp]), std::to_integer<int>(pxBefore[kIndexStamp]) + 3);
        }

        auto again = openTable(path);
        Cursor check{*again};
        check.seekId(42);
        DateTime v = 0;
        ASSERT_TRUE(again->readDateTime(field, &v).isOk());
        EXPECT_EQ(paradox::decodeTime(v), (paradox::TimeOfDay{7, 59, 30, 0}));
    }
}

// Every record of the walk is met once while posts move records about, and
// the table and its index are in order afterwards.
void moveMinutesAndCheck(const std::string& db, const std::string& px, const FillingShape& shape)
{
    const std::size_t total = static_cast<std::size_t>(shape.days) * 24 * shape.minutes.size();
    {
        auto table = openTable(db);
        Cursor cur{*table};
        std::vector<int> seen(total, 0);
        int moved = 0;
        for (table->first(); !table->eof(); table->next()) {
            const std::int64_t id = cur.currentId();
            ASSERT_GE(id, 0);
            ASSERT_LT(id, static_cast<std::int64_t>(total));
            ++seen[static_cast<std::size_t>(id)];
            const paradox::TimeOfDay t = cur.currentTime();
            // Even hours move a block forward past two others, odd hours back.
            int to = -1;
            if (t.hour % 2 == 0 && t.minute == 15)
                to = 50;
            if (t.hour % 2 == 1 && t.minute == 45)
                to = 10;
            if (to < 0)
                continue;
            ASSERT_TRUE(cur.setAndPost(cur.time, at(t.hour, to)).isOk());
            ++moved;
            // The cursor stays on the record it moved.
            EXPECT_EQ(cur.currentId(), id);
            EXPECT_EQ(cur.currentTime().minute, to);
        }
        EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }));
        EXPECT_EQ(moved, shape.days * 24);
        const Status st = testsupport::commitPosts(*table);
        ASSERT_TRUE(st.isOk()) << st.message();
        ASSERT_TRUE(table->close().isOk());
    }

    auto table = openTable(db);
    Cursor cur{*table};
    std::set<std::int64_t> ids;
    std::pair<DateTime, DateTime> previous{-1, -1};
    for (table->first(); !table->eof(); table->next()) {
        ids.insert(cur.currentId());
        DateTime d = 0, t = 0;
        ASSERT_TRUE(table->readDateTime(cur.date, &d).isOk());
        ASSERT_TRUE(table->readDateTime(cur.time, &t).isOk());
        EXPECT_LT(previous, std::make_pair(d, t)) << "records out of key order";
        previous = {d, t};
        const paradox::TimeOfDay tod = paradox::decodeTime(t);
        EXPECT_NE(tod.minute, tod.hour % 2 == 0 ? 15 : 45);
    }
    EXPECT_EQ(ids.size(), total);
    ASSERT_TRUE(table->close().isOk());

    // The primary index describes the blocks exactly.
    std::unique_ptr<paradox::File> dbFile, pxFile;
    ASSERT_TRUE(paradox::FileSystem::standard().open(db, paradox::OpenMode::ReadOnly, &dbFile).isOk());
    ASSERT_TRUE(paradox::FileSystem::standard().open(px, paradox::OpenMode::ReadOnly, &pxFile).isOk());
    paradox::format::Header h;
    ASSERT_TRUE(paradox::format::parseHeader(dbFile->contents(), &h).isOk());
    std::vector<paradox::format::ChainBlock> chain;
    std::uint32_t slot = 0;
    for (std::uint16_t b = h.firstBlock; b != 0;) {
        const std::byte* p = dbFile->contents().data() + h.blockOffset(b);
        const int n = paradox::format::recordsInBlock(static_cast<std::int16_t>(paradox::coding::loadLE16(p + 4)),
                                                      h.recordSize, h.blockSize);
        chain.push_back({b, static_cast<std::uint16_t>(n), slot});
        slot += static_cast<std::uint32_t>(n);
        b = paradox::coding::loadLE16(p);
    }
    std::optional<paradox::PrimaryIndex> index;
    const Status st = paradox::PrimaryIndex::load(pxFile.get(), h, dbFile->contents(), chain, &index);
    EXPECT_TRUE(st.isOk()) << st.message();
}

TEST_F(TableWrite, KeyChangesMoveRecordsAcrossBlocksAndKeepTheIndexRight)
{
    FillingShape shape;
    shape.days = 14;
    shape.recordsPerBlock = 3; // every move crosses block boundaries
    shape.indexBlockKiB = 1;   // 72 entries per index block: two levels
    buildFilling(db, shape);
    const std::vector<std::byte> before = readFile(db);
    moveMinutesAndCheck(db, px, shape);
    // Moves keep every block's size: the file does not grow.
    EXPECT_EQ(readFile(db).size(), before.size());
}

TEST_F(TableWrite, KeyChangesKeepAThreeLevelIndexRight)
{
    FillingShape shape;
    shape.days = 60;
    shape.recordsPerBlock = 1;
    shape.indexBlockKiB = 1;
    buildFilling(db, shape);
    EXPECT_EQ(std::to_integer<int>(readFile(px).at(0x20)), 3);
    moveMinutesAndCheck(db, px, shape);
}

TEST_F(TableWrite, AKeyViolationWritesNothing)
{
    FillingShape shape;
    shape.recordsPerBlock = 4;
    buildFilling(db, shape);
    const std::vector<std::byte> dbBefore = readFile(db), pxBefore = readFile(px);
    auto table = openTable(db);
    Cursor cur{*table};
    cur.seekId(1); // day 0, 00:15
    ASSERT_TRUE(table->edit().isOk());
    ASSERT_TRUE(table->setDateTime(cur.time, at(0, 30)).isOk());
    const Status st = table->post();
    EXPECT_EQ(st.code(), Status::Code::KeyViolation);
    EXPECT_EQ(st.message(), "Key violation");
    table->cancel();
    ASSERT_TRUE(table->close().isOk());
    EXPECT_EQ(readFile(db), dbBefore);
    EXPECT_EQ(readFile(px), pxBefore);
}

TEST_F(TableWrite, AFileThatCannotBeWrittenOpensReadOnly)
{
    buildFilling(db, {});
    testsupport::FaultyFileSystem fs;
    fs.refuseWriteOpen = true;
    auto table = openTable(db, &fs);
    EXPECT_TRUE(table->readOnly());
    EXPECT_EQ(table->recordCount(), 7u * 24 * 4);
    const Status st = table->edit();
    EXPECT_EQ(st.code(), Status::Code::ReadOnly);
    EXPECT_EQ(st.message(), "Cannot modify a read-only dataset");
}

// Posts that move records across blocks, so that a commit writes records,
// index keys and stamps in several files.
void moveSomeKeys(paradox::Table& table)
{
    Cursor cur{table};
    for (table.first(); !table.eof(); table.next()) {
        const paradox::TimeOfDay t = cur.currentTime();
        if (t.minute == 15 && t.hour % 3 == 0)
            ASSERT_TRUE(cur.setAndPost(cur.time, at(t.hour, 50)).isOk());
        if (t.minute == 0 && t.hour % 5 == 1)
            ASSERT_TRUE(cur.setAndPost(cur.size, at(0, 4)).isOk());
    }
}

// A write that fails half-way through the records puts every file back:
// at once, or at the next open when the disk is dead. (The shift's tests
// fail every operation in turn.)
TEST_F(TableWrite, AFailedWriteLeavesEveryFileAsItWas)
{
    FillingShape shape;
    shape.days = 2;
    shape.recordsPerBlock = 3;
    buildFilling(db, shape);
    const std::vector<std::byte> dbBefore = readFile(db), pxBefore = readFile(px);
    for (bool dead : {false, true}) {
        SCOPED_TRACE(dead ? "dead disk" : "one failure");
        testsupport::FaultyFileSystem fs;
        fs.durable = false;
        auto table = openTable(db, &fs);
        moveSomeKeys(*table);
        fs.failAt = 12; // past the journal, among the records
        fs.failAfter = dead;
        const Status st = testsupport::commitPosts(*table, &fs);
        EXPECT_NE(st.message().find("injected"), std::string::npos) << st.message();
        (void)table->close();
        EXPECT_EQ(testsupport::fileExists(dir.file(testsupport::kTestJournal)), dead);
        paradox::Recovery recovery;
        ASSERT_TRUE(paradox::Journal(paradox::FileSystem::standard(), dir.path() + "/", testsupport::kTestJournal,
                                     {"AdvBlock.db"})
                        .recover(&recovery)
                        .isOk());
        EXPECT_EQ(readFile(db), dbBefore);
        EXPECT_EQ(readFile(px), pxBefore);
    }
}

TEST_F(TableWrite, AFileChangedUnderneathIsReportedAndNeverWrittenOver)
{
#if defined(_WIN32)
    GTEST_SKIP() << "on Windows the bytes are a copy read at open, and no program can replace or resize a "
                    "file held for writing";
#endif
    FillingShape shape;
    shape.days = 14;
    buildFilling(db, shape);
    const std::vector<std::byte> dbBefore = readFile(db), pxBefore = readFile(px);

    // Cut short while held: reading on gives zeros, not a crash, and the
    // table says it changed.
    {
        auto table = openTable(db);
        std::filesystem::resize_file(db, 0x800 + 2048);
        const int note = table->fieldIndex("FNote");
        std::size_t blank = 0;
        for (table->first(); !table->eof(); table->next())
            blank += table->isNull(note);
        EXPECT_GT(blank, 0u);
        const Status st = table->checkUnchanged();
        EXPECT_EQ(st.code(), Status::Code::IOError);
        EXPECT_NE(st.message().find(db), std::string::npos) << st.message();
    }

    // Cut short between the posts and their writing: nothing is written.
    testsupport::writeFile(db, dbBefore);
    auto table = openTable(db);
    moveSomeKeys(*table);
    std::filesystem::resize_file(db, 0x900);
    const Status st = testsupport::commitPosts(*table);
    EXPECT_NE(st.message().find("cut short by another program"), std::string::npos) << st.message();
    (void)table->close();
    EXPECT_EQ(readFile(db).size(), 0x900u);
    EXPECT_EQ(readFile(px), pxBefore);
    EXPECT_FALSE(testsupport::fileExists(dir.file(testsupport::kTestJournal)));
}

TEST_F(TableWrite, TypedReadsAndWritesFollowTheFieldTypes)
{
    buildFilling(db, {});
    auto table = openTable(db);
    Cursor cur{*table};
    cur.seekId(5); // day 0, 01:15
    DateTime d = 0;
    ASSERT_TRUE(table->readDateTime(cur.date, &d).isOk());
    EXPECT_EQ(d, paradox::dateTimeFromDayNumber(paradox::dayNumberFromCivil({2026, 3, 2})));
    std::int64_t n = 0;
    Status st = table->readInteger(cur.time, &n);
    EXPECT_EQ(st.message(), "Cannot access field 'FTime' as type Integer");
    st = table->readDateTime(cur.id, &d);
    EXPECT_EQ(st.message(), "Cannot access field 'FId' as type DateTime");
    const int note = table->fieldIndex("FNote");
    ASSERT_TRUE(table->edit().isOk());
    EXPECT_EQ(table->setDateTime(note, 0.5).message(), "Cannot access field 'FNote' as type DateTime");
    // A date field takes the date part only; a time field the time of day only.
    ASSERT_TRUE(table->setDateTime(cur.date, 46000.75).isOk());
    ASSERT_TRUE(table->setDateTime(cur.size, 46000.75).isOk());
    ASSERT_TRUE(table->post().isOk());
    ASSERT_TRUE(table->readDateTime(cur.date, &d).isOk());
    EXPECT_EQ(d, 46000);
    ASSERT_TRUE(table->readDateTime(cur.size, &d).isOk());
    EXPECT_EQ(d, 0.75);
    EXPECT_EQ(table->setDateTime(cur.size, 0.5).message(), "Dataset not in edit or insert mode");
    EXPECT_EQ(table->fieldIndex("NoSuchField"), -1);
}

} // namespace

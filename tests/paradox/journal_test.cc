#include "faulty_file_system.h"
#include "foreign_lock.h"
#include "table_fixtures.h"

#include "paradox/journal.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using fixtures::buildFilling;
using fixtures::FillingShape;
using fixtures::openTable;
using paradox::Journal;
using paradox::Recovery;
using paradox::Status;
using testsupport::readFile;
using testsupport::TempDir;

paradox::DateTime at(int hour, int minute)
{
    return (hour * 60 + minute) / 1440.0;
}

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FillingShape shape;
        shape.days = 2;
        shape.recordsPerBlock = 3;
        buildFilling(db, shape);
        dbBefore = readFile(db);
        pxBefore = readFile(px);
    }

    std::string folder() const { return dir.path() + "/"; }
    Journal journal(paradox::FileSystem& fs = paradox::FileSystem::standard()) const
    {
        return Journal(fs, folder(), testsupport::kTestJournal);
    }

    // Moves every quarter-past block of even hours to ten to, through `fs`.
    Status change(paradox::FileSystem& fs)
    {
        auto table = openTable(db, &fs);
        const int time = table->fieldIndex("FTime");
        for (table->first(); !table->eof(); table->next()) {
            paradox::DateTime t = 0;
            EXPECT_TRUE(table->readDateTime(time, &t).isOk());
            const paradox::TimeOfDay tod = paradox::decodeTime(t);
            if (tod.minute != 15 || tod.hour % 2 != 0)
                continue;
            EXPECT_TRUE(table->edit().isOk());
            EXPECT_TRUE(table->setDateTime(time, at(tod.hour, 50)).isOk());
            EXPECT_TRUE(table->post().isOk());
        }
        return testsupport::commitPosts(*table, &fs);
    }

    // A change stopped half-way through writing the tables, the journal hot.
    void interrupt()
    {
        testsupport::FaultyFileSystem fs;
        fs.failAt = 40;  // past the journal, inside the record writes
        fs.failAfter = true;
        ASSERT_FALSE(change(fs).isOk());
        ASSERT_NE(readFile(db), dbBefore) << "nothing was written before the failure";
    }

    bool journalExists() const { return testsupport::fileExists(dir.file(testsupport::kTestJournal)); }

    TempDir dir;
    std::string db = dir.file("AdvBlock.db");
    std::string px = dir.file("AdvBlock.px");
    std::vector<std::byte> dbBefore, pxBefore;
};

TEST_F(JournalTest, AnIncompleteJournalIsRemovedAndTheFilesLeftAlone)
{
    ASSERT_TRUE(change(paradox::FileSystem::standard()).isOk());
    const std::vector<std::byte> dbAfter = readFile(db), pxAfter = readFile(px);
    const std::vector<std::byte> good = readFile(dir.file(testsupport::kTestJournal));
    auto flipped = [&](std::size_t at, bool unmark = false) {
        std::vector<std::byte> b = good;
        b.at(at) ^= std::byte{0x01};
        if (unmark)
            std::fill(b.end() - 16, b.end(), std::byte{0});
        return b;
    };
    const std::vector<std::pair<const char*, std::vector<std::byte>>> torn = {
        {"empty", {}},
        {"cut short", std::vector<std::byte>(good.begin(), good.begin() + static_cast<long>(good.size() / 2))},
        {"header changed", flipped(20)},
        {"contents changed, no commit mark", flipped(good.size() / 2, true)},
    };
    for (const auto& [what, bytes] : torn) {
        SCOPED_TRACE(what);
        testsupport::writeFile(dir.file(testsupport::kTestJournal), bytes);
        Recovery recovery;
        ASSERT_TRUE(journal().recover(&recovery).isOk());
        EXPECT_EQ(recovery.outcome, Recovery::Outcome::RemovedTorn);
        EXPECT_FALSE(journalExists());
        EXPECT_EQ(readFile(db), dbAfter);
        EXPECT_EQ(readFile(px), pxAfter);
    }

    // The damaged record of a finished change needs nothing at the next
    // open; it only cannot be undone.
    testsupport::writeFile(dir.file(testsupport::kTestJournal), flipped(good.size() / 2));
    {
        Recovery recovery;
        ASSERT_TRUE(journal().recover(&recovery).isOk());
        EXPECT_EQ(recovery.outcome, Recovery::Outcome::Nothing);
        std::vector<std::string> files;
        EXPECT_EQ(journal().undoLast(&files).code(), Status::Code::Corruption);
        EXPECT_EQ(readFile(db), dbAfter);
    }

    // A journal never renamed into place is ignored, and replaced by the next one.
    testsupport::writeFile(dir.file(std::string(testsupport::kTestJournal) + ".tmp"), flipped(9));
    Recovery recovery;
    ASSERT_TRUE(journal().recover(&recovery).isOk());
    EXPECT_EQ(recovery.outcome, Recovery::Outcome::Nothing);
    EXPECT_EQ(readFile(db), dbAfter);
}

TEST_F(JournalTest, RollingBackWaitsForTheFilesAndTheirSize)
{
    interrupt();
    const std::vector<std::byte> dbHalf = readFile(db);
    Recovery recovery;
    {
        testsupport::ForeignLock lock(db);
        const Status st = journal().recover(&recovery);
        EXPECT_EQ(st.code(), Status::Code::InUse) << st.message();
        EXPECT_NE(st.message().find("AdvBlock.db"), std::string::npos) << st.message();
    }
    testsupport::writeFile(dir.file("AdvBlock.lck"), std::vector<std::byte>(16));
    {
        testsupport::ForeignLock lock(dir.file("AdvBlock.lck"));
        EXPECT_EQ(journal().recover(&recovery).code(), Status::Code::InUse);
    }
    EXPECT_EQ(readFile(db), dbHalf);
    EXPECT_TRUE(journalExists());

    // A file of another size is no longer the one the journal describes.
    std::vector<std::byte> longer = dbHalf;
    longer.resize(longer.size() + 2048);
    testsupport::writeFile(db, longer);
    const Status st = journal().recover(&recovery);
    EXPECT_EQ(st.code(), Status::Code::Corruption) << st.message();
    EXPECT_EQ(readFile(db), longer);
    EXPECT_TRUE(journalExists());

    // Free again, and found wherever the folder now is: the journal names
    // the files by their names in it.
    testsupport::writeFile(db, dbHalf);
    TempDir elsewhere;
    const std::string moved = elsewhere.path() + "/moved";
    std::filesystem::rename(dir.path(), moved);
    const Status back = Journal(paradox::FileSystem::standard(), moved + "/", testsupport::kTestJournal).recover(&recovery);
    std::filesystem::rename(moved, dir.path());
    ASSERT_TRUE(back.isOk()) << back.message();
    EXPECT_EQ(recovery.outcome, Recovery::Outcome::RolledBack);
    EXPECT_EQ(recovery.files, (std::vector<std::string>{"AdvBlock.db", "AdvBlock.px"}));
    EXPECT_EQ(readFile(db), dbBefore);
    EXPECT_EQ(readFile(px), pxBefore);
    EXPECT_FALSE(journalExists());
}

TEST_F(JournalTest, AnInterruptedUndoLeavesTheChangeAndItsRecordStanding)
{
    std::vector<std::string> files;
    ASSERT_TRUE(change(paradox::FileSystem::standard()).isOk());
    const std::vector<std::byte> dbAfter = readFile(db), pxAfter = readFile(px);

    testsupport::FaultyFileSystem fs;
    fs.failAt = 12;  // inside the undoing's own writes
    fs.failAfter = true;
    EXPECT_FALSE(journal(fs).undoLast(&files).isOk());
    Recovery recovery;
    ASSERT_TRUE(journal().recover(&recovery).isOk());
    EXPECT_EQ(recovery.outcome, Recovery::Outcome::RolledBack);
    EXPECT_EQ(readFile(db), dbAfter);
    EXPECT_EQ(readFile(px), pxAfter);

    // The change's record survived the interrupted undoing.
    const Status st = journal().undoLast(&files);
    ASSERT_TRUE(st.isOk()) << st.message();
    EXPECT_EQ(files, (std::vector<std::string>{"AdvBlock.db", "AdvBlock.px"}));
    EXPECT_EQ(readFile(db), dbBefore);
    EXPECT_EQ(readFile(px), pxBefore);
}

} // namespace

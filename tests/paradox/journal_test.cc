#include "faulty_file_system.h"
#include "foreign_lock.h"
#include "table_fixtures.h"

#include "paradox/coding.h"
#include "paradox/journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;
using fixtures::buildFilling;
using fixtures::FillingShape;
using fixtures::openTable;
using paradox::Journal;
using paradox::Recovery;
using paradox::Status;
using paradox::coding::storeLE32;
using paradox::coding::storeLE64;
using testsupport::readFile;
using testsupport::TempDir;
using Bytes = std::vector<std::byte>;
using Outcome = Recovery::Outcome;
using Kind = paradox::JournalProblem::Kind;

// Sets the body's length and the checksums as a writer would, and with
// `mark` the commit mark.
void seal(Bytes& j, bool mark)
{
    storeLE64(&j[16], j.size() - 80);
    storeLE64(&j[24], paradox::journalChecksum(&j[64], j.size() - 80));
    storeLE64(&j[56], paradox::journalChecksum(j.data(), 56));
    std::fill(j.end() - 16, j.end(), std::byte{0});
    if (mark) {
        std::memcpy(&j[j.size() - 16], "COMMITTD", 8);
        storeLE64(&j[j.size() - 8], paradox::journalChecksum(j.data(), 64, 0x6D61726B));
    }
}

struct Piece {
    std::uint32_t file;
    std::uint64_t offset;
    Bytes before, after;
};
// A journal laid out and sealed as a writer of format 2 would, every field
// as given: `files`, each `size` bytes long, and `pieces`.
Bytes forge(const std::vector<std::string>& files, std::uint64_t size, const std::vector<Piece>& pieces,
            std::uint32_t kind = 1, bool mark = false)
{
    Bytes j(64);
    std::memcpy(j.data(), "GSJOURNL", 8);
    storeLE32(&j[8], 2);
    storeLE32(&j[12], kind);
    storeLE32(&j[32], static_cast<std::uint32_t>(files.size()));
    storeLE32(&j[36], static_cast<std::uint32_t>(pieces.size()));
    auto put = [&](std::uint64_t v, int n) {
        std::byte b[8];
        storeLE64(b, v);
        j.insert(j.end(), b, b + n);
    };
    for (const std::string& name : files) {
        put(name.size(), 4);
        const auto text = std::as_bytes(std::span(name));
        j.insert(j.end(), text.begin(), text.end());
        put(size, 8);
    }
    for (const Piece& p : pieces) {
        put(p.file, 4);
        put(p.before.size(), 4);
        put(p.offset, 8);
        j.insert(j.end(), p.before.begin(), p.before.end());
        j.insert(j.end(), p.after.begin(), p.after.end());
    }
    j.resize(j.size() + 16);
    seal(j, mark);
    return j;
}

// The same journal as the first release wrote it: format 1, without the note.
void firstFormat(Bytes& j)
{
    const bool marked = std::memcmp(&j[j.size() - 16], "COMMITTD", 8) == 0;
    j.erase(j.begin() + 64, j.begin() + 64 + paradox::coding::loadLE32(&j[40]));
    storeLE32(&j[8], 1);
    storeLE32(&j[40], 0);
    seal(j, marked);
}

paradox::DateTime at(int hour, int minute)
{
    return (hour * 60 + minute) / 1440.0;
}

// A table's folder beside another folder that no journal may reach.
class JournalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(folder());
        fs::create_directories(dir.file("outside"));
        FillingShape shape;
        shape.days = 2;
        shape.recordsPerBlock = 3;
        buildFilling(db, shape);
        dbBefore = readFile(db);
        pxBefore = readFile(px);
    }

    std::string folder() const { return dir.file("tables") + "/"; }
    std::string file(const std::string& name) const { return folder() + name; }
    Journal journal(paradox::FileSystem& fs = paradox::FileSystem::standard()) const
    {
        return Journal(fs, folder(), testsupport::kTestJournal, {"AdvBlock.db"});
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
        fs.failAt = 40; // past the journal, inside the record writes
        fs.failAfter = true;
        ASSERT_FALSE(change(fs).isOk());
        ASSERT_NE(readFile(db), dbBefore) << "nothing was written before the failure";
        ASSERT_TRUE(journalExists());
    }

    bool journalExists() const { return testsupport::fileExists(jnl); }

    TempDir dir;
    std::string db = file("AdvBlock.db"), px = file("AdvBlock.px"), jnl = file(testsupport::kTestJournal);
    Bytes dbBefore, pxBefore;
};

TEST_F(JournalTest, ForgedAndDamagedJournalsWriteNothingButTheTablesAndAreNeverDeleted)
{
    // Files no journal may write, outside the folder and in it; a link to
    // one, named as an index of the table, where the system makes links.
    const std::string victim = dir.file("outside/victim"), notes = file("notes.txt");
    const Bytes theirs(32, std::byte{'v'});
    testsupport::writeFile(victim, theirs);
    testsupport::writeFile(notes, theirs);
    const std::string link = file("AdvBlock.X05");
    std::error_code noLinks;
    fs::create_symlink(victim, link, noLinks);
    fs::remove(link);
    if (noLinks)
        std::printf("no symbolic link made here: a link named as an index is not tried\n");

    // One piece that would put "XXXX" over the first bytes of `name`, which
    // hold `now`: a name that got through would be written, the ranges agreeing.
    const Bytes x4(4, std::byte{'X'}), first4(dbBefore.begin(), dbBefore.begin() + 4);
    auto over = [&](const std::string& name, const Bytes& now, std::uint32_t kind = 1, bool mark = false) {
        return forge({name}, now.size(), {{0, 0, x4, Bytes(now.begin(), now.begin() + 4)}}, kind, mark);
    };
    auto with = [](Bytes j, std::size_t at, std::uint32_t v) { // the field at `at` set to `v`, sealed again
        storeLE32(&j[at], v);
        seal(j, false);
        return j;
    };
    const Bytes ours = over("AdvBlock.db", dbBefore);
    // Each entry's pieces are in order, yet they overlap in the file: putting
    // both back would leave neither before-image.
    const Bytes twice = forge({"AdvBlock.db", "AdvBlock.db"}, dbBefore.size(),
                              {{0, 0, x4, first4}, {1, 0, Bytes(4, std::byte{'Y'}), first4}});
    auto flip = [](Bytes& j) { j.at(j.size() / 2) ^= std::byte{0x01}; };
    auto zeroMark = [](Bytes& j) { std::fill(j.end() - 16, j.end(), std::byte{0}); };
    auto tearMark = [](Bytes& j) { std::fill(j.end() - 8, j.end(), std::byte{0}); };
    auto newer = [](Bytes& j) { j[8] = std::byte{7}; };

    using enum Recovery::Outcome;
    using enum paradox::JournalProblem::Kind;
    // Whether the change is made first: stopped half-way; finished and then
    // undone; or finished, then a byte it wrote changed by another program.
    enum Start { Forged, HalfDone, Finished, EditedAfter };
    struct Case {
        std::string what;
        Recovery::Outcome outcome; // of recover()
        Kind problem;
        Bytes forged;                 // the journal; if empty, the change's own spoilt by `spoil`
        const char* beside = nullptr; // a file another program holds meanwhile
        Start start = Forged;
        void (*spoil)(Bytes&) = nullptr;
    };
    std::vector<Case> cases = {
        {"an undo-kind journal", SetAside, NotOurs, over("../outside/victim", theirs, 2)},
        {"undo of a finished change of another file", Nothing, NotOurs, over("../outside/victim", theirs, 1, true),
         nullptr, Finished},
        {"./ before a held table", Nothing, InUse, over("./AdvBlock.db", dbBefore), "AdvBlock.lck"},
        {"the index of a held table", Nothing, InUse, over("AdvBlock.px", pxBefore), "AdvBlock.lck"},
        {"an offset past any file", SetAside, Damaged,
         forge({"AdvBlock.db"}, dbBefore.size(), {{0, ~std::uint64_t{0} - 2, x4, x4}})},
        {"a length past the journal", SetAside, Damaged, with(ours, 91, ~0u)}, // the piece's
        {"a file count past the journal", SetAside, Damaged, with(ours, 32, ~0u)},
        {"a piece count past the journal", SetAside, Damaged, with(ours, 36, 1 << 28)},
        {"a file named twice", SetAside, Damaged, twice},
        {"zeros", SetAside, Damaged, Bytes(100)},
        {"one while another is set aside", Blocked, SetAsideWaiting, Bytes(100), "test.jnl.damaged"},
        {"a zeroed mark", Nothing, Changed, Bytes(), nullptr, EditedAfter, zeroMark},
        {"a torn mark", Nothing, Changed, Bytes(), nullptr, EditedAfter, tearMark},
        {"a flipped bit over a half-applied change", SetAside, Damaged, Bytes(), nullptr, HalfDone, flip},
        {"a newer format over a half-applied change", Blocked, NewerFormat, Bytes(), nullptr, HalfDone, newer},
        {"undo of a finished change with a flipped bit", Nothing, Damaged, Bytes(), nullptr, Finished, flip},
        {"the first format over a half-applied change", RolledBack, None, Bytes(), nullptr, HalfDone, firstFormat},
        {"undo of a change in the first format", Nothing, None, Bytes(), nullptr, Finished, firstFormat},
    };
    const std::string names[] = {
        "../outside/victim",       "..\\outside\\victim", victim,      "C:\\outside\\victim",
        {"AdvBlock.db\0.txt", 16}, "AdvBlock.db:hidden",  "notes.txt", "AdvBlock.X05"};
    for (const std::string& name : names)
        cases.push_back({"named " + name, SetAside, NotOurs, over(name, theirs)});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::writeFile(db, dbBefore);
        testsupport::writeFile(px, pxBefore);
        fs::remove(jnl);
        fs::remove(jnl + ".damaged");
        if (c.start == HalfDone)
            interrupt();
        else if (c.start != Forged)
            ASSERT_TRUE(change(paradox::FileSystem::standard()).isOk());
        if (c.start == EditedAfter) {
            Bytes b = readFile(db);
            const auto at = std::mismatch(b.begin(), b.end(), dbBefore.begin()).first - b.begin();
            for (const std::byte now = b[at]; b[at] == now || b[at] == dbBefore[at];)
                b[at] = std::byte(std::to_integer<int>(b[at]) + 1);
            testsupport::writeFile(db, b);
        }
        Bytes j = c.forged.empty() ? readFile(jnl) : c.forged;
        if (c.spoil)
            c.spoil(j);
        testsupport::writeFile(jnl, j);
        const Bytes dbNow = readFile(db), pxNow = readFile(px);
        if (!noLinks)
            fs::create_symlink(victim, link);
        std::optional<testsupport::ForeignLock> lock;
        if (c.beside) {
            testsupport::writeFile(file(c.beside), Bytes(16));
            lock.emplace(file(c.beside));
        }
        paradox::JournalProblem problem;
        const bool back = c.problem == None;
        if (c.start == Finished) {
            std::vector<std::string> files;
            EXPECT_EQ(journal().undoLast(&files, &problem).isOk(), back);
        } else {
            Recovery recovery;
            const Status st = journal().recover(&recovery);
            EXPECT_EQ(st.isOk(), c.outcome != Nothing) << st.message();
            EXPECT_EQ(recovery.outcome, c.outcome);
            problem = recovery.problem;
        }
        lock.reset();
        fs::remove(link);
        EXPECT_EQ(problem.kind, c.problem);
        EXPECT_EQ(readFile(victim), theirs);
        EXPECT_EQ(readFile(notes), theirs);
        EXPECT_EQ(readFile(db), back ? dbBefore : dbNow);
        EXPECT_EQ(readFile(px), back ? pxBefore : pxNow);
        if (c.beside) {
            EXPECT_EQ(readFile(file(c.beside)), Bytes(16));
            fs::remove(file(c.beside));
        }
        // Kept where it was or set aside whole, and gone only once put back.
        EXPECT_EQ(journalExists(), c.outcome != SetAside && (!back || c.start == Finished));
        if (c.outcome == SetAside)
            EXPECT_EQ(readFile(file(problem.setAside)), j);
        else if (!back)
            EXPECT_EQ(readFile(jnl), j);
        if (c.start == HalfDone && c.problem == Damaged)
            EXPECT_EQ(problem.tables, paradox::JournalProblem::Tables::Mixed);
    }
}

TEST_F(JournalTest, RollingBackWaitsForTheFilesAndTheirSize)
{
    interrupt();
    const Bytes dbHalf = readFile(db);
    Recovery recovery;
    {
        testsupport::ForeignLock lock(db);
        const Status st = journal().recover(&recovery);
        EXPECT_EQ(st.code(), Status::Code::InUse) << st.message();
        EXPECT_EQ(recovery.problem.kind, Kind::InUse);
        EXPECT_EQ(recovery.problem.name, "AdvBlock.db");
    }
    EXPECT_EQ(readFile(db), dbHalf);
    EXPECT_TRUE(journalExists());

    // A file of another size is no longer the one the journal describes.
    Bytes longer = dbHalf;
    longer.resize(longer.size() + 2048);
    testsupport::writeFile(db, longer);
    const Status st = journal().recover(&recovery);
    EXPECT_FALSE(st.isOk()) << st.message();
    EXPECT_EQ(recovery.problem.kind, Kind::Changed);
    EXPECT_EQ(readFile(db), longer);
    EXPECT_TRUE(journalExists());

    // Free again, and found wherever the folder now is: the journal names
    // the files by their names in it.
    testsupport::writeFile(db, dbHalf);
    TempDir elsewhere;
    const std::string moved = elsewhere.path() + "/moved";
    fs::rename(dir.file("tables"), moved);
    const Status back = Journal(paradox::FileSystem::standard(), moved + "/", testsupport::kTestJournal,
                                {"AdvBlock.db"})
                            .recover(&recovery);
    fs::rename(moved, dir.file("tables"));
    ASSERT_TRUE(back.isOk()) << back.message();
    EXPECT_EQ(recovery.outcome, Outcome::RolledBack);
    EXPECT_EQ(recovery.files, (std::vector<std::string>{"AdvBlock.db", "AdvBlock.px"}));
    EXPECT_EQ(readFile(db), dbBefore);
    EXPECT_EQ(readFile(px), pxBefore);
    EXPECT_FALSE(journalExists());
}

TEST_F(JournalTest, AnInterruptedUndoLeavesTheChangeAndItsRecordStanding)
{
    std::vector<std::string> files;
    ASSERT_TRUE(change(paradox::FileSystem::standard()).isOk());
    const Bytes dbAfter = readFile(db), pxAfter = readFile(px);

    testsupport::FaultyFileSystem fs;
    fs.failAt = 12; // inside the undoing's own writes
    fs.failAfter = true;
    EXPECT_FALSE(journal(fs).undoLast(&files).isOk());
    Recovery recovery;
    ASSERT_TRUE(journal().recover(&recovery).isOk());
    EXPECT_EQ(recovery.outcome, Outcome::RolledBack);
    EXPECT_EQ(readFile(db), dbAfter);
    EXPECT_EQ(readFile(px), pxAfter);

    // The change's record survived the interrupted undoing.
    const Status st = journal().undoLast(&files);
    ASSERT_TRUE(st.isOk()) << st.message();
    EXPECT_EQ(files, (std::vector<std::string>{"AdvBlock.db", "AdvBlock.px"}));
    EXPECT_EQ(readFile(db), dbBefore);
    EXPECT_EQ(readFile(px), pxBefore);
}

std::uint64_t peakMemory()
{
#if defined(_WIN32)
    PROCESS_MEMORY_COUNTERS c{};
    GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c);
    return c.PeakWorkingSetSize;
#else
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<std::uint64_t>(u.ru_maxrss) * 1024;
#endif
}

TEST_F(JournalTest, AHugeJournalOrOneThatIsNoFileIsJudgedAtOnce)
{
    // 2 GiB that add up in every field the header has, holes inside.
    const std::uint64_t size = std::uint64_t{2} << 30;
    Bytes head = forge({"AdvBlock.db"}, dbBefore.size(), {});
    storeLE64(&head[16], size - 80);
    storeLE64(&head[56], paradox::journalChecksum(head.data(), 56));
    head.resize(64);
    testsupport::writeFile(jnl, head);
    fs::resize_file(jnl, size);
    const auto start = std::chrono::steady_clock::now();
    Recovery recovery;
    ASSERT_TRUE(journal().recover(&recovery).isOk());
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(recovery.outcome, Outcome::SetAside);
    EXPECT_LT(took.count(), 5.0);
    EXPECT_LT(peakMemory() >> 20, 256u) << "MiB at most, after " << took.count() << " s";
    fs::remove(file(recovery.problem.setAside));

    // Neither a folder nor a pipe is read, nor waited on.
    fs::create_directory(jnl);
    ASSERT_TRUE(journal().recover(&recovery).isOk());
    EXPECT_EQ(recovery.outcome, Outcome::Blocked);
    EXPECT_EQ(recovery.problem.kind, Kind::NotAFile);
    fs::remove(jnl);
#if !defined(_WIN32)
    ASSERT_EQ(mkfifo(jnl.c_str(), 0600), 0);
    ASSERT_TRUE(journal().recover(&recovery).isOk());
    EXPECT_EQ(recovery.problem.kind, Kind::NotAFile);
    std::string note;
    paradox::JournalProblem why;
    EXPECT_FALSE(journal().undoable(&note, &why).isOk());
    EXPECT_EQ(why.kind, Kind::NotAFile);
#endif
    EXPECT_EQ(readFile(db), dbBefore);
}

} // namespace

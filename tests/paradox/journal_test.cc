#include "faulty_file_system.h"
#include "foreign_lock.h"
#include "table_fixtures.h"

#include "paradox/coding.h"
#include "paradox/journal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <algorithm>
#include <optional>

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
using paradox::JournalProblem;
using paradox::Recovery;
using paradox::Status;
using testsupport::readFile;
using testsupport::TempDir;
using Bytes = std::vector<std::byte>;
using Outcome = Recovery::Outcome;
using Kind = JournalProblem::Kind;

Bytes bytesOf(const std::string& s)
{
    Bytes b(s.size());
    std::memcpy(b.data(), s.data(), s.size());
    return b;
}

// A journal with every field as the test says, in the layout of format 2
// unless `version` says otherwise; the checksums are right unless spoiled.
struct Forged {
    std::uint32_t version = 2, kind = 1;
    std::string note;
    std::vector<std::pair<std::string, std::uint64_t>> files;
    struct Piece {
        std::uint32_t file = 0, length = 0;
        std::uint64_t offset = 0;
        Bytes before, after;
    };
    std::vector<Piece> pieces;
    std::optional<std::uint32_t> fileCount, pieceCount;
    bool committed = false;

    Bytes bytes() const
    {
        using namespace paradox::coding;
        Bytes body = bytesOf(version >= 2 ? note : "");
        auto put = [&](const void* p, std::size_t n) {
            body.insert(body.end(), static_cast<const std::byte*>(p), static_cast<const std::byte*>(p) + n);
        };
        auto u32 = [&](std::uint32_t v) {
            std::byte b[4];
            storeLE32(b, v);
            put(b, 4);
        };
        auto u64 = [&](std::uint64_t v) {
            std::byte b[8];
            storeLE64(b, v);
            put(b, 8);
        };
        for (const auto& [name, size] : files) {
            u32(static_cast<std::uint32_t>(name.size()));
            put(name.data(), name.size());
            u64(size);
        }
        for (const Piece& p : pieces) {
            u32(p.file);
            u32(p.length);
            u64(p.offset);
            put(p.before.data(), p.before.size());
            put(p.after.data(), p.after.size());
        }
        Bytes out(64);
        std::memcpy(out.data(), "GSJOURNL", 8);
        storeLE32(out.data() + 8, version);
        storeLE32(out.data() + 12, kind);
        storeLE64(out.data() + 16, body.size());
        storeLE64(out.data() + 24, paradox::journalChecksum(body.data(), body.size()));
        storeLE32(out.data() + 32, fileCount.value_or(static_cast<std::uint32_t>(files.size())));
        storeLE32(out.data() + 36, pieceCount.value_or(static_cast<std::uint32_t>(pieces.size())));
        if (version >= 2)
            storeLE32(out.data() + 40, static_cast<std::uint32_t>(note.size()));
        storeLE64(out.data() + 56, paradox::journalChecksum(out.data(), 56));
        Bytes mark(16);
        if (committed) {
            std::memcpy(mark.data(), "COMMITTD", 8);
            storeLE64(mark.data() + 8, paradox::journalChecksum(out.data(), 64, 0x6D61726B));
        }
        out.insert(out.end(), body.begin(), body.end());
        out.insert(out.end(), mark.begin(), mark.end());
        return out;
    }
};

// A journal as the first release wrote it: no note, format 1.
Bytes asFirstFormat(const Bytes& journal)
{
    using namespace paradox::coding;
    const std::uint32_t noteLength = loadLE32(journal.data() + 40);
    Bytes out(journal.begin(), journal.begin() + 64);
    out.insert(out.end(), journal.begin() + 64 + noteLength, journal.end() - 16);
    storeLE32(out.data() + 8, 1);
    storeLE32(out.data() + 40, 0);
    storeLE64(out.data() + 16, out.size() - 64);
    storeLE64(out.data() + 24, paradox::journalChecksum(out.data() + 64, out.size() - 64));
    storeLE64(out.data() + 56, paradox::journalChecksum(out.data(), 56));
    Bytes mark(16);
    if (journal.back() != std::byte{0}) {
        std::memcpy(mark.data(), "COMMITTD", 8);
        storeLE64(mark.data() + 8, paradox::journalChecksum(out.data(), 64, 0x6D61726B));
    }
    out.insert(out.end(), mark.begin(), mark.end());
    return out;
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
        testsupport::writeFile(victim, bytesOf("not a table's byte"));
        testsupport::writeFile(notes, bytesOf("a note of the station"));
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

    bool journalExists() const { return testsupport::fileExists(file(testsupport::kTestJournal)); }
    bool setAside() const
    {
        return testsupport::fileExists(file(std::string(testsupport::kTestJournal) + ".damaged"));
    }

    TempDir dir;
    std::string db = file("AdvBlock.db"), px = file("AdvBlock.px");
    std::string victim = dir.file("outside/victim"), notes = file("notes.txt");
    Bytes dbBefore, pxBefore;
};

TEST_F(JournalTest, ForgedAndDamagedJournalsWriteNothingButTheTablesAndAreNeverDeleted)
{
    const Bytes victimBytes = readFile(victim), notesBytes = readFile(notes);
    // A piece that would put "before" over bytes that hold "after" now: if a
    // name got through, the range check alone would not stop the write.
    auto over = [](const std::string& name, const Bytes& now) {
        Forged f;
        f.files = {{name, now.size()}};
        Forged::Piece p;
        p.length = 4;
        p.before = bytesOf("XXXX");
        p.after.assign(now.begin(), now.begin() + 4);
        f.pieces = {p};
        return f;
    };
    const std::string link = file("AdvBlock.X05");
    const bool links = [&] {
        std::error_code ec;
        fs::create_symlink(victim, link, ec);
        const bool made = !ec;
        fs::remove(link, ec);
        return made;
    }();
    // Another program's later edit of a byte the change wrote.
    auto editAfterTheChange = [&] {
        Bytes b = readFile(db);
        const auto at = static_cast<std::size_t>(std::mismatch(b.begin(), b.end(), dbBefore.begin()).first -
                                                 b.begin());
        std::byte other{0};
        while (other == b[at] || other == dbBefore[at])
            other = std::byte(std::to_integer<int>(other) + 1);
        b[at] = other;
        testsupport::writeFile(db, b);
    };

    struct Case {
        const char* what;
        std::function<void()> make; // writes the journal, and the tables' later state
        Outcome outcome;            // of recover()
        Kind problem;
        bool undo = false; // undoLast() rather than recover()
        bool needsLinks = false;
        const char* held = nullptr;        // a file another program holds meanwhile
        const Bytes* rolledBack = nullptr; // the table once put back, when recover() writes it
    };
    const std::string jnl = file(testsupport::kTestJournal);
    auto put = [&](const Forged& f) { return [&, f] { testsupport::writeFile(jnl, f.bytes()); }; };
    auto named = [&](const std::string& name) { return put(over(name, victimBytes)); };
    Forged undoKind = over("../outside/victim", victimBytes);
    undoKind.kind = 2;
    Forged committedForeign = over("../outside/victim", victimBytes);
    committedForeign.committed = true;
    Forged farOffset = over("AdvBlock.db", dbBefore), longPiece = farOffset, manyFiles = farOffset,
           manyPieces = farOffset;
    farOffset.pieces[0].offset = ~std::uint64_t{0} - 2;
    longPiece.pieces[0].length = 0xFFFFFFFF;
    manyFiles.fileCount = 0xFFFFFFFF;
    manyPieces.pieceCount = 0x10000000;
    // A power cut tore a piece's write at the sector boundary inside it: each
    // byte holds one image or the other, so the piece is the change's own.
    Forged torn;
    torn.files = {{"AdvBlock.db", dbBefore.size()}};
    const auto edge = static_cast<std::ptrdiff_t>(dbBefore.size() / 512 * 512 - 512); // in the records
    Forged::Piece tornPiece;
    tornPiece.offset = static_cast<std::uint64_t>(edge - 4);
    tornPiece.length = 8;
    tornPiece.before.assign(dbBefore.begin() + edge - 4, dbBefore.begin() + edge);
    tornPiece.before.resize(8, std::byte{'Y'});
    tornPiece.after = Bytes(4, std::byte{'Z'});
    tornPiece.after.insert(tornPiece.after.end(), dbBefore.begin() + edge, dbBefore.begin() + edge + 4);
    torn.pieces = {tornPiece};
    Bytes tornBack = dbBefore;
    std::copy(tornPiece.before.begin(), tornPiece.before.end(), tornBack.begin() + edge - 4);
    // One file under two entries: each entry's pieces are in order, yet they
    // overlap in the file, and putting both back leaves neither before-image.
    Forged twice = over("AdvBlock.db", dbBefore);
    twice.files.push_back(twice.files[0]);
    twice.pieces.push_back(twice.pieces[0]);
    twice.pieces[1].file = 1;
    twice.pieces[1].before = bytesOf("YYYY");
    const std::vector<Case> cases = {
        {"../ in the name", named("../outside/victim"), Outcome::SetAside, Kind::NotOurs},
        {"..\\ in the name", named("..\\outside\\victim"), Outcome::SetAside, Kind::NotOurs},
        {"an absolute path", named(victim), Outcome::SetAside, Kind::NotOurs},
        {"a drive path", named("C:\\outside\\victim"), Outcome::SetAside, Kind::NotOurs},
        {"a NUL in the name", named(std::string("AdvBlock.db\0.txt", 16)), Outcome::SetAside, Kind::NotOurs},
        {"a stream of the table", named("AdvBlock.db:hidden"), Outcome::SetAside, Kind::NotOurs},
        {"a file of the folder not the table's", put(over("notes.txt", notesBytes)), Outcome::SetAside,
         Kind::NotOurs},
        {"a link named as an index",
         [&] {
             fs::create_symlink(victim, link);
             named("AdvBlock.X05")();
         },
         Outcome::SetAside, Kind::NotOurs, false, true},
        {"an undo-kind journal", put(undoKind), Outcome::SetAside, Kind::NotOurs},
        {"undo of a finished change that names another file", put(committedForeign), Outcome::Nothing, Kind::NotOurs,
         true},
        {"./ before a held table", named("./AdvBlock.db"), Outcome::Nothing, Kind::InUse, false, false,
         "AdvBlock.lck"},
        {"the index of a held table", put(over("AdvBlock.px", pxBefore)), Outcome::Nothing, Kind::InUse, false,
         false, "AdvBlock.lck"},
        {"an offset past any file", put(farOffset), Outcome::SetAside, Kind::Damaged},
        {"a length past the journal", put(longPiece), Outcome::SetAside, Kind::Damaged},
        {"a file count past the journal", put(manyFiles), Outcome::SetAside, Kind::Damaged},
        {"a piece count past the journal", put(manyPieces), Outcome::SetAside, Kind::Damaged},
        {"a zeroed mark after later edits",
         [&] {
             ASSERT_TRUE(change(paradox::FileSystem::standard()).isOk());
             Bytes j = readFile(jnl);
             std::fill(j.end() - 16, j.end(), std::byte{0});
             testsupport::writeFile(jnl, j);
             editAfterTheChange();
         },
         Outcome::Nothing, Kind::Changed},
        {"a torn mark after later edits",
         [&] {
             ASSERT_TRUE(change(paradox::FileSystem::standard()).isOk());
             Bytes j = readFile(jnl);
             std::fill(j.end() - 8, j.end(), std::byte{0});
             testsupport::writeFile(jnl, j);
             editAfterTheChange();
         },
         Outcome::Nothing, Kind::Changed},
        {"a flipped bit over a half-applied change",
         [&] {
             interrupt();
             Bytes j = readFile(jnl);
             j.at(j.size() / 2) ^= std::byte{0x01};
             testsupport::writeFile(jnl, j);
         },
         Outcome::SetAside, Kind::Damaged},
        {"a newer format over a half-applied change",
         [&] {
             interrupt();
             Bytes j = readFile(jnl);
             j.at(8) = std::byte{7};
             testsupport::writeFile(jnl, j);
         },
         Outcome::Blocked, Kind::NewerFormat},
        {"a file named twice", put(twice), Outcome::SetAside, Kind::Damaged},
        {"a piece torn at a sector", put(torn), Outcome::RolledBack, Kind::None, false, false, nullptr, &tornBack},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsLinks && !links) {
            std::printf("skipped \"%s\": the system makes no symbolic link here\n", c.what);
            continue;
        }
        testsupport::writeFile(db, dbBefore);
        testsupport::writeFile(px, pxBefore);
        fs::remove(file(std::string(testsupport::kTestJournal) + ".damaged"));
        fs::remove(jnl);
        c.make();
        const Bytes dbNow = readFile(db), pxNow = readFile(px), journalNow = readFile(jnl);
        std::optional<testsupport::ForeignLock> lock;
        if (c.held) {
            testsupport::writeFile(file(c.held), Bytes(16));
            lock.emplace(file(c.held));
        }
        JournalProblem problem;
        if (c.undo) {
            std::vector<std::string> files;
            EXPECT_FALSE(journal().undoLast(&files, &problem).isOk());
        } else {
            Recovery recovery;
            const Status st = journal().recover(&recovery);
            EXPECT_EQ(st.isOk(), c.outcome != Outcome::Nothing) << st.message();
            EXPECT_EQ(recovery.outcome, c.outcome);
            problem = recovery.problem;
        }
        lock.reset();
        if (c.held)
            fs::remove(file(c.held));
        if (c.needsLinks)
            fs::remove(link);
        EXPECT_EQ(problem.kind, c.problem);
        EXPECT_EQ(readFile(victim), victimBytes);
        EXPECT_EQ(readFile(notes), notesBytes);
        EXPECT_EQ(readFile(db), c.rolledBack ? *c.rolledBack : dbNow);
        EXPECT_EQ(readFile(px), pxNow);
        // Kept where it was, or set aside whole; removed only once it was rolled back.
        if (c.outcome == Outcome::RolledBack) {
            EXPECT_FALSE(journalExists());
        } else if (c.outcome == Outcome::SetAside) {
            EXPECT_FALSE(journalExists());
            EXPECT_EQ(readFile(file(problem.setAside)), journalNow);
        } else {
            EXPECT_EQ(readFile(jnl), journalNow);
        }
        if (c.problem == Kind::Damaged && std::string(c.what).find("half-applied") != std::string::npos)
            EXPECT_EQ(problem.tables, JournalProblem::Tables::Mixed);
    }

    // One set aside stops every write to the folder, a change of its own
    // included, until it is removed; a later damaged journal stays where it
    // is meanwhile.
    const std::string damaged = file(std::string(testsupport::kTestJournal) + ".damaged");
    fs::remove(damaged);
    testsupport::writeFile(db, dbBefore);
    testsupport::writeFile(px, pxBefore);
    testsupport::writeFile(jnl, Bytes(100));
    Recovery recovery;
    ASSERT_TRUE(journal().recover(&recovery).isOk());
    EXPECT_EQ(recovery.problem.setAside, std::string(testsupport::kTestJournal) + ".damaged");
    EXPECT_FALSE(change(paradox::FileSystem::standard()).isOk());
    EXPECT_EQ(readFile(db), dbBefore);
    testsupport::writeFile(jnl, Bytes(200));
    ASSERT_TRUE(journal().recover(&recovery).isOk());
    EXPECT_EQ(recovery.outcome, Outcome::Blocked);
    EXPECT_EQ(recovery.problem.kind, Kind::SetAsideWaiting);
    EXPECT_EQ(readFile(damaged), Bytes(100));
    EXPECT_EQ(readFile(jnl), Bytes(200));
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
    std::string note;
    ASSERT_TRUE(journal().undoable(&note).isOk());
    const Status st = journal().undoLast(&files);
    ASSERT_TRUE(st.isOk()) << st.message();
    EXPECT_EQ(files, (std::vector<std::string>{"AdvBlock.db", "AdvBlock.px"}));
    EXPECT_EQ(readFile(db), dbBefore);
    EXPECT_EQ(readFile(px), pxBefore);
    JournalProblem why;
    EXPECT_FALSE(journal().undoable(&note, &why).isOk());
    EXPECT_EQ(why.kind, Kind::AlreadyUndone);
}

TEST_F(JournalTest, TheFirstFormatIsStillRolledBackAndUndone)
{
    // What release 0.1 left: an interrupted change, then a finished one.
    interrupt();
    const std::string jnl = file(testsupport::kTestJournal);
    testsupport::writeFile(jnl, asFirstFormat(readFile(jnl)));
    Recovery recovery;
    ASSERT_TRUE(journal().recover(&recovery).isOk());
    EXPECT_EQ(recovery.outcome, Outcome::RolledBack);
    EXPECT_EQ(readFile(db), dbBefore);

    ASSERT_TRUE(change(paradox::FileSystem::standard()).isOk());
    testsupport::writeFile(jnl, asFirstFormat(readFile(jnl)));
    std::string note = "?";
    ASSERT_TRUE(journal().undoable(&note).isOk());
    EXPECT_EQ(note, "");
    std::vector<std::string> files;
    ASSERT_TRUE(journal().undoLast(&files).isOk());
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
    Forged f = [&] {
        Forged g;
        g.files = {{"AdvBlock.db", dbBefore.size()}};
        return g;
    }();
    Bytes head = f.bytes();
    const std::uint64_t size = std::uint64_t{2} << 30;
    paradox::coding::storeLE64(head.data() + 16, size - 80);
    paradox::coding::storeLE64(head.data() + 56, paradox::journalChecksum(head.data(), 56));
    head.resize(64);
    const std::string jnl = file(testsupport::kTestJournal);
    testsupport::writeFile(jnl, head);
    fs::resize_file(jnl, size);
    const auto start = std::chrono::steady_clock::now();
    Recovery recovery;
    ASSERT_TRUE(journal().recover(&recovery).isOk());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(recovery.outcome, Outcome::SetAside);
    EXPECT_LT(seconds, 5.0);
    EXPECT_LT(peakMemory(), std::uint64_t{256} << 20);
    std::printf("a 2 GiB journal judged in %.2f s, peak memory %llu MiB\n", seconds,
                static_cast<unsigned long long>(peakMemory() >> 20));
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
    JournalProblem why;
    EXPECT_FALSE(journal().undoable(&note, &why).isOk());
    EXPECT_EQ(why.kind, Kind::NotAFile);
#endif
    EXPECT_EQ(readFile(db), dbBefore);
}

} // namespace

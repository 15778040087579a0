// Power cuts during a shift and during its undoing, replayed from a record
// of every write and flush (see crash_states.h) rather than only killed at
// random: whatever the disk kept, the next open of the folder leaves every
// file of both tables exactly as before the change or exactly as after it,
// and never takes the journal for damaged. So does a second power cut while
// that open puts the tables back. While the tables are mixed, the disk
// always holds a journal to put them back with.

#include "crash_states.h"
#include "grid_tables.h"
#include "grid_test_util.h"
#include "memory_file_system.h"
#include "test_support.h"

#include "grid/engine.h"
#include "grid/shift.h"
#include "paradox/datetime.h"
#include "paradox/journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

namespace {

using paradox::Recovery;
using testsupport::CrashPolicy;
using testsupport::Folder;
using testsupport::FolderTrace;

constexpr const char* kMemoryFolder = "db/";

struct AllTicked : grid::TickList {
    explicit AllTicked(int n) : n(n) {}
    int count() const override { return n; }
    bool ticked(int) const override { return true; }
    int n;
};

struct Tables {
    bool keyed;
    bool secondary;
};

paradox::Journal journalOver(paradox::FileSystem& fs, const std::string& folder)
{
    return paradox::Journal(fs, folder, grid::kJournalName, {grid::kGridTable, grid::kFillingTable});
}

// A journal under its own name, or one set aside, which is kept for a person.
bool holdsJournal(const Folder& folder)
{
    const std::string journal = grid::kJournalName, damaged = journal + ".damaged";
    return std::any_of(folder.begin(), folder.end(), [&](const auto& entry) {
        return entry.first == journal || entry.first.rfind(damaged, 0) == 0;
    });
}

Folder tablesOf(const Folder& folder)
{
    Folder out;
    for (const auto& [name, bytes] : folder)
        if (name.rfind("AdvSetBlk.", 0) == 0 || name.rfind("AdvBlock.", 0) == 0)
            out[name] = bytes;
    return out;
}

std::string differing(const Folder& now, const Folder& before, const Folder& after)
{
    std::string out;
    for (const auto& [name, bytes] : now) {
        const bool asBefore = before.count(name) && before.at(name) == bytes;
        const bool asAfter = after.count(name) && after.at(name) == bytes;
        out += " " + name +
               (asBefore && asAfter ? ""
                : asBefore          ? " (before)"
                : asAfter           ? " (after)"
                                    : " (neither)");
    }
    return out;
}

// The replayer itself, on a record made by hand: a write over two sectors
// and a new file renamed into place, then both flushed. Before the flushes a
// crash may keep either sector or both, with or without the new name, and
// the rename without the creation; after them, only everything.
TEST(CrashReplay, LosesTearsAndReordersWhatIsNotFlushedAndNothingElse)
{
    const std::vector<std::byte> zeros(1024, std::byte{0}), ones(1024, std::byte{1});
    testsupport::MemoryFileSystem memory;
    memory.files["d/a"] = zeros;
    testsupport::RecordingFileSystem fs(memory, {{"a", zeros}});
    std::unique_ptr<paradox::File> a;
    ASSERT_TRUE(fs.open("d/a", paradox::OpenMode::ReadWrite, &a).isOk());
    ASSERT_TRUE(a->writeAt(0, ones).isOk());
    const std::vector<std::byte> journal{std::byte{2}};
    ASSERT_TRUE(fs.createFile("d/t", journal).isOk());
    ASSERT_TRUE(fs.rename("d/t", "d/j").isOk());
    ASSERT_TRUE(a->sync().isOk());
    ASSERT_TRUE(fs.syncDirectory("d/").isOk());
    ASSERT_TRUE(a->close().isOk());

    std::set<Folder> expected;
    for (int sectors = 0; sectors < 4; ++sectors) {
        std::vector<std::byte> bytes = zeros;
        std::fill_n(bytes.begin(), (sectors & 1) ? 512 : 0, std::byte{1});
        std::fill_n(bytes.begin() + 512, (sectors & 2) ? 512 : 0, std::byte{1});
        expected.insert({{"a", bytes}});
        expected.insert({{"a", bytes}, {"t", journal}});
        expected.insert({{"a", bytes}, {"j", journal}});
    }
    std::set<Folder> seen;
    std::vector<std::string> afterFlushes;
    const std::size_t count =
        testsupport::replayCrashStates(fs.trace(), {}, [&](const Folder& state, const std::string& where) {
            seen.insert(state);
            if (where.find("flush of the folder") != std::string::npos ||
                where.find("after the last") != std::string::npos)
                afterFlushes.push_back(where);
        });
    EXPECT_EQ(count, expected.size());
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(afterFlushes.empty()) << afterFlushes.front();
    EXPECT_EQ(testsupport::finalFolder(fs.trace()), (Folder{{"a", ones}, {"j", journal}}));
}

class CrashStates : public ::testing::TestWithParam<Tables> {
protected:
    void SetUp() override
    {
        testsupport::GridTableOptions options;
        options.keyed = GetParam().keyed;
        options.secondary = GetParam().secondary;
        options.recordsPerBlock = 5;
        std::vector<testsupport::GridSlot> slots;
        std::vector<testsupport::FillingEntry> filling;
        for (int hour = 0; hour < 2; ++hour)
            for (int minute : {0, 15, 30, 45}) {
                for (int day = 0; day < 7; ++day)
                    slots.push_back({day, hour, minute});
                for (int day = 5; day <= 7; ++day)
                    filling.push_back({2026, 1, day, hour, minute});
            }
        testsupport::writeGridTable(dir.file("AdvSetBlk.db"), slots, options);
        testsupport::writeFillingTable(dir.file("AdvBlock.db"), filling, options);
    }

    Folder onDisk() const
    {
        Folder out;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            out[entry.path().filename().string()] = testsupport::readFile(entry.path().string());
        return out;
    }

    // Runs `change` over the folder, recording it.
    FolderTrace record(const std::function<void(paradox::FileSystem&)>& change) const
    {
        testsupport::RecordingFileSystem fs(paradox::FileSystem::standard(), onDisk());
        change(fs);
        EXPECT_EQ(testsupport::finalFolder(fs.trace()), onDisk()) << "the record misses a change to the folder";
        return fs.trace();
    }

    // Moves minute 15 to 50 on every day and hour.
    void shift(paradox::FileSystem& fs) const
    {
        grid::Engine engine;
        engine.BaseFolder = prefix;
        engine.OldMinute = 15;
        grid::TableDataSet table;
        table.setFileSystem(&fs);
        grid::QueryDataSet query;
        RecordingProgress progress;
        RecordingView view;
        AllTicked days(7), hours(24);
        grid::ShiftInputs in;
        in.newMinute = 50;
        in.blockSize = [] { return 150.0 / 86400; };
        in.folderText = [&] { return dir.path(); };
        EXPECT_EQ(messageOf([&] {
                      grid::shiftMinute(engine, in, grid::DayHourFilter(days, hours), table, query, progress, view);
                  }),
                  "(no error)");
    }

    // Opens each folder a crash during `trace` can leave, as the next
    // gridshift would, and checks the tables; with `depth`, crashes during
    // some of those recoveries are replayed too. Returns how many folders
    // were opened.
    std::size_t replay(const FolderTrace& trace, const CrashPolicy& policy, int depth, const Folder& before,
                       const Folder& after, const std::string& context = {})
    {
        std::size_t opened = 0;
        opened += testsupport::replayCrashStates(trace, policy, [&](const Folder& state, const std::string& crash) {
            const std::string where = context + crash;
            const Folder tablesThen = tablesOf(state);
            if (tablesThen != before && tablesThen != after && !holdsJournal(state)) {
                if (++failures <= 5)
                    ADD_FAILURE() << where << "\n  the tables are mixed and no journal is left:"
                                  << differing(tablesThen, before, after);
                return;
            }
            testsupport::MemoryFileSystem memory;
            for (const auto& [name, bytes] : state)
                memory.files[kMemoryFolder + name] = bytes;
            testsupport::RecordingFileSystem recording(memory, state);
            Recovery recovery;
            const paradox::Status st = journalOver(recording, kMemoryFolder).recover(&recovery);
            Folder now;
            for (const auto& [path, bytes] : memory.files)
                now[testsupport::fileNameOf(path)] = bytes;
            const Folder tables = tablesOf(now);
            const bool judgedWhole = recovery.outcome == Recovery::Outcome::Nothing ||
                                     recovery.outcome == Recovery::Outcome::RolledBack;
            if (!st.isOk() || !judgedWhole || (tables != before && tables != after)) {
                if (++failures <= 5)
                    ADD_FAILURE() << where << "\n  recovery: " << (st.isOk() ? "ok" : st.message())
                                  << (judgedWhole ? ""
                                                  : ", the journal set aside or in the way: " +
                                                        recovery.problem.setAside + recovery.problem.name)
                                  << "\n  tables:" << differing(tables, before, after);
                return;
            }
            // A crash within recovery, for one recovering state in 32.
            if (depth > 0 && !recording.trace().ops.empty() && recovered++ % 32 == 0) {
                CrashPolicy inner = policy;
                inner.exhaustiveUpTo = 3;
                inner.spread = 3;
                inner.sampled = 2;
                opened += replay(recording.trace(), inner, depth - 1, before, after, where + "; then in recovery, ");
            } else if (recovery.outcome != Recovery::Outcome::Nothing) {
                Recovery again;
                EXPECT_TRUE(journalOver(memory, kMemoryFolder).recover(&again).isOk());
                EXPECT_EQ(again.outcome, Recovery::Outcome::Nothing) << where;
            }
        });
        return opened;
    }

    testsupport::TempDir dir;
    std::string prefix = dir.path() + "/";
    int failures = 0;
    int recovered = 0;
};

TEST_P(CrashStates, EveryCrashOfAShiftAndOfItsUndoingOpensWholeBeforeOrAfter)
{
    const Folder original = tablesOf(onDisk());
    const FolderTrace shifting = record([&](paradox::FileSystem& fs) { shift(fs); });
    const Folder shifted = tablesOf(onDisk());
    ASSERT_TRUE(shifted != original) << "the shift changed nothing";
    const FolderTrace undoing = record([&](paradox::FileSystem& fs) {
        std::vector<std::string> files;
        const paradox::Status st = journalOver(fs, grid::hostFolder(prefix)).undoLast(&files);
        EXPECT_TRUE(st.isOk()) << st.message();
    });
    ASSERT_TRUE(tablesOf(onDisk()) == original)
        << "the undoing left" << differing(tablesOf(onDisk()), original, shifted);

    const std::size_t ofShift = replay(shifting, {}, 1, original, shifted);
    const std::size_t ofUndo = replay(undoing, {}, 1, shifted, original);
    EXPECT_EQ(failures, 0) << "crash states whose tables were not whole";
    std::printf("%zu crash states opened: %zu of the shift, %zu of its undoing (%zu operations recorded)\n",
                ofShift + ofUndo, ofShift, ofUndo, shifting.ops.size() + undoing.ops.size());
    RecordProperty("crash_states", static_cast<int>(ofShift + ofUndo));
}

INSTANTIATE_TEST_SUITE_P(Tables, CrashStates,
                         ::testing::Values(Tables{true, false}, Tables{false, false}, Tables{true, true},
                                           Tables{false, true}),
                         [](const ::testing::TestParamInfo<Tables>& info) {
                             return std::string(info.param.keyed ? "Keyed" : "Unkeyed") +
                                    (info.param.secondary ? "WithSecondaryIndexes" : "");
                         });

} // namespace

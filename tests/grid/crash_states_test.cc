// Power cuts during a shift and during its undoing, replayed from a record
// of every write and flush (see crash_states.h) rather than only killed at
// random: whatever the disk kept, the next open of the folder leaves both
// tables exactly as before the change or exactly as after it, and so does a
// second power cut while that open puts them back. While the tables are
// mixed, the disk always holds a journal to put them back with.

#include "crash_states.h"
#include "grid_tables.h"
#include "grid_test_util.h"
#include "memory_file_system.h"
#include "test_support.h"

#include "grid/engine.h"
#include "grid/shift.h"
#include "paradox/journal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <tuple>

namespace {

using paradox::Recovery;
using testsupport::Folder;
using testsupport::FolderTrace;

// Every day and every hour.
struct AllTicked : grid::TickList {
    int count() const override { return 24; }
    bool ticked(int) const override { return true; }
};

paradox::Journal journalOver(paradox::FileSystem& fs, const std::string& folder)
{
    return paradox::Journal(fs, folder, grid::kJournalName, {grid::kGridTable, grid::kFillingTable});
}

// The folder without its journal: the tables' files.
Folder tablesOf(Folder folder)
{
    std::erase_if(folder, [](const auto& entry) { return entry.first.starts_with(grid::kJournalName); });
    return folder;
}

// The folder's tables as before, as after, or mixed.
const char* whole(const Folder& folder, const Folder& before, const Folder& after)
{
    const Folder tables = tablesOf(folder);
    return tables == before ? "before" : tables == after ? "after" : "mixed";
}

// A write across a sector's end and a new file renamed into place, both
// flushed, then a write left unflushed: before the flushes a crash may keep
// either part of the first write (4 ways) with the new file under either
// name or none (3); after them, only the last write is in doubt (1 more).
TEST(CrashReplay, TearsLosesAndReordersOnlyWhatIsNotFlushed)
{
    const std::vector<std::byte> zeros(1024, std::byte{0}), ones(512, std::byte{1}), twos(8, std::byte{2});
    testsupport::MemoryFileSystem memory;
    memory.files["d/a"] = zeros;
    const FolderTrace trace = testsupport::recordChange(memory, {{"a", zeros}}, [&](paradox::FileSystem& fs) {
        std::unique_ptr<paradox::File> a;
        ASSERT_TRUE(fs.open("d/a", paradox::OpenMode::ReadWrite, &a).isOk() && a->writeAt(256, ones).isOk() &&
                    fs.createFile("d/t", twos).isOk() && fs.rename("d/t", "d/j").isOk() && a->sync().isOk() &&
                    fs.syncDirectory("d").isOk() && a->writeAt(0, twos).isOk());
    });
    std::set<Folder> seen;
    testsupport::replayCrashStates(trace, 8, [&](const Folder& state, const std::string&) { seen.insert(state); });
    Folder torn{{"a", zeros}}; // the write's second sector alone, the new file unnamed
    std::fill_n(torn["a"].begin() + 512, 256, std::byte{1});
    EXPECT_EQ(seen.size(), 13u);
    EXPECT_TRUE(seen.count(torn));
}

class CrashStates : public ::testing::TestWithParam<std::tuple<bool, bool>> {
protected:
    Folder onDisk() const
    {
        Folder out;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            out[entry.path().filename().string()] = testsupport::readFile(entry.path().string());
        return out;
    }

    FolderTrace record(const std::function<void(paradox::FileSystem&)>& change) const
    {
        const FolderTrace trace = testsupport::recordChange(paradox::FileSystem::standard(), onDisk(), change);
        EXPECT_TRUE(testsupport::finalFolder(trace) == onDisk()) << "the record misses a change to the folder";
        return trace;
    }

    // Opens each folder a crash during `trace` can leave, as the next
    // gridshift would, and checks the tables; replays crashes during one
    // recovery in 32 as well. Returns how many folders were opened.
    std::size_t replay(const FolderTrace& trace, std::size_t exhaustive, const Folder& before, const Folder& after,
                       const std::string& context = {})
    {
        std::size_t nested = 0;
        auto open = [&](const Folder& state, const std::string& crash) {
            testsupport::MemoryFileSystem memory;
            for (const auto& [name, bytes] : state)
                memory.files["db/" + name] = bytes;
            Recovery recovery;
            paradox::Status st;
            const FolderTrace recovering = testsupport::recordChange(memory, state, [&](paradox::FileSystem& fs) {
                st = journalOver(fs, "db/").recover(&recovery);
            });
            const std::string then = whole(state, before, after);
            const std::string tables = whole(testsupport::finalFolder(recovering), before, after);
            const bool journal = state.count(grid::kJournalName) != 0;
            if (!st.isOk() || tables == "mixed" || (then == "mixed" && !journal) ||
                (recovery.outcome != Recovery::Outcome::Nothing &&
                 recovery.outcome != Recovery::Outcome::RolledBack)) {
                if (++failures <= 5)
                    ADD_FAILURE() << context << crash << "\n  tables " << then << ", journal "
                                  << (journal ? "kept" : "lost") << "; recovery "
                                  << (st.isOk() ? "ok" : st.message()) << ", outcome "
                                  << static_cast<int>(recovery.outcome) << ", tables " << tables;
            } else if (context.empty() && !recovering.ops.empty() && recovered++ % 32 == 0) {
                nested += replay(recovering, 1, before, after, crash + "; then in recovery, ");
            } else if (recovery.outcome != Recovery::Outcome::Nothing) {
                Recovery again;
                EXPECT_TRUE(journalOver(memory, "db/").recover(&again).isOk());
                EXPECT_EQ(again.outcome, Recovery::Outcome::Nothing) << context << crash;
            }
        };
        const std::size_t opened = testsupport::replayCrashStates(trace, exhaustive, open);
        return opened + nested;
    }

    testsupport::TempDir dir;
    int failures = 0, recovered = 0;
};

TEST_P(CrashStates, EveryCrashOfAShiftAndOfItsUndoingOpensWholeBeforeOrAfter)
{
    testsupport::GridTableOptions options;
    std::tie(options.keyed, options.secondary) = GetParam();
    options.recordsPerBlock = 5;
    testsupport::writeWeekTables(dir, 2, 3, options);
    const std::string prefix = dir.path() + "/";

    const Folder before = tablesOf(onDisk());
    const FolderTrace shifting = record([&](paradox::FileSystem& fs) {
        grid::Engine engine;
        engine.BaseFolder = prefix;
        engine.OldMinute = 15;
        grid::TableDataSet table;
        table.setFileSystem(&fs);
        grid::QueryDataSet query;
        RecordingProgress progress;
        RecordingView view;
        const AllTicked all;
        grid::ShiftInputs in;
        in.newMinute = 50;
        in.blockSize = [] { return 150.0 / 86400; };
        grid::shiftMinute(engine, in, grid::DayHourFilter(all, all), table, query, progress, view);
    });
    const Folder after = tablesOf(onDisk());
    ASSERT_TRUE(after != before) << "the shift changed nothing";
    const FolderTrace undoing = record([&](paradox::FileSystem& fs) {
        std::vector<std::string> files;
        const paradox::Status st = journalOver(fs, grid::hostFolder(prefix)).undoLast(&files);
        EXPECT_TRUE(st.isOk()) << st.message();
    });
    ASSERT_STREQ(whole(onDisk(), before, after), "before") << "after the undoing";

    const std::size_t states = replay(shifting, 8, before, after) + replay(undoing, 8, after, before);
    EXPECT_EQ(failures, 0) << "crash states whose tables were not whole";
    std::printf("%zu crash states replayed from %zu recorded operations\n", states,
                shifting.ops.size() + undoing.ops.size());
}

INSTANTIATE_TEST_SUITE_P(Tables, CrashStates, ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "Keyed" : "Unkeyed") +
                                    (std::get<1>(info.param) ? "WithSecondaryIndexes" : "");
                         });

} // namespace

// Power cuts during a shift and during its undoing, replayed from a record
// of every write and flush rather than only killed at random: whatever the
// disk kept, the next open of the folder leaves both tables exactly as before
// the change or exactly as after it, and so does a second power cut while
// that open puts them back. While the tables are mixed, the disk always holds
// a journal to put them back with.
//
// At every point where the program waits for the disk, a crash keeps any
// subset of what is pending, in the program's order: a write reaches the disk
// a 512-byte sector at a time, each sector on its own, until its file is
// flushed (sync or close); a new file's bytes are durable when it is
// created, but its name, like a rename or a removal, may be lost until the
// folder is flushed.

#include "grid_tables.h"
#include "grid_test_util.h"
#include "memory_file_system.h"
#include "test_support.h"

#include "grid/engine.h"
#include "grid/shift.h"
#include "paradox/journal.h"
#include "paradox/paths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <tuple>
#include <unordered_set>

namespace {

using paradox::Recovery;
using paradox::Status;
using Folder = std::map<std::string, std::vector<std::byte>>;
constexpr std::uint64_t kSector = 512;
constexpr std::size_t kFolder = -1;

struct Op {
    enum Kind { Write, Name, Flush } kind;
    std::size_t file; // numbered as met, the initial folder's first; or kFolder
    std::string name; // Name: the file's new name, "" once removed
    std::uint64_t offset = 0;
    std::vector<std::byte> bytes; // Write: one sector's part; Name of a new file: the file's
};

struct Trace {
    Folder initial;
    std::vector<Op> ops;
};

class RecordingFile : public paradox::File {
public:
    RecordingFile(std::unique_ptr<paradox::File> inner, std::vector<Op>& ops, std::size_t file)
        : m_inner(std::move(inner)), m_ops(ops), m_file(file)
    {
    }
    ~RecordingFile() override { (void)close(); }

    const std::string& path() const override { return m_inner->path(); }
    bool writable() const override { return m_inner->writable(); }
    std::span<const std::byte> contents() const override { return m_inner->contents(); }
    Status lockExclusive() override { return m_inner->lockExclusive(); }
    // writeRuns() comes here, a run at a time.
    Status writeAt(std::uint64_t offset, std::span<const std::byte> data) override
    {
        const Status st = m_inner->writeAt(offset, data);
        for (std::uint64_t at = offset, end; st.isOk() && at < offset + data.size(); at = end) {
            end = std::min<std::uint64_t>(offset + data.size(), (at / kSector + 1) * kSector);
            const auto part = data.subspan(at - offset, end - at);
            m_ops.push_back({Op::Write, m_file, {}, at, {part.begin(), part.end()}});
        }
        return st;
    }
    // A flush with nothing pending is a crash point that adds nothing.
    Status sync() override { return flushed(m_inner->sync()); }
    Status close() override { return flushed(m_inner->close()); }

private:
    Status flushed(Status st)
    {
        if (st.isOk())
            m_ops.push_back({Op::Flush, m_file, {}, 0, {}});
        return st;
    }

    std::unique_ptr<paradox::File> m_inner;
    std::vector<Op>& m_ops;
    std::size_t m_file;
};

// Passes everything to `inner` and records each change and flush. Every path
// must lie in the one folder whose files, as they stand, are `initial`.
class RecordingFileSystem : public paradox::FileSystem {
public:
    RecordingFileSystem(paradox::FileSystem& inner, Folder initial) : m_inner(inner)
    {
        for (const auto& [name, bytes] : initial)
            m_names[name] = m_files++;
        trace.initial = std::move(initial);
    }

    // openEntry() and openReader() come here too: the folder holds no links.
    Status open(const std::string& path, paradox::OpenMode mode, std::unique_ptr<paradox::File>* out) override
    {
        const Status st = m_inner.open(path, mode, out);
        if (st.isOk())
            *out = std::make_unique<RecordingFile>(std::move(*out), trace.ops,
                                                   m_names.at(paradox::fileNameOf(path)));
        return st;
    }
    Status probeLock(const std::string& path, bool* locked) override { return m_inner.probeLock(path, locked); }
    Status listDirectory(const std::string& dir, std::vector<std::string>* names) override
    {
        return m_inner.listDirectory(dir, names);
    }
    Status createFile(const std::string& path, std::span<const std::byte> data) override
    {
        return named(m_inner.createFile(path, data), {}, path, data);
    }
    Status rename(const std::string& from, const std::string& to) override
    {
        return named(m_inner.rename(from, to), from, to, {});
    }
    Status remove(const std::string& path) override { return named(m_inner.remove(path), path, {}, {}); }
    Status syncDirectory(const std::string& dir) override
    {
        const Status st = m_inner.syncDirectory(dir);
        if (st.isOk())
            trace.ops.push_back({Op::Flush, kFolder, {}, 0, {}});
        return st;
    }

    Trace trace;

private:
    // A change of name: `from` empty for a new file, `to` empty for a removal.
    Status named(Status st, const std::string& from, const std::string& to, std::span<const std::byte> data)
    {
        const auto it = m_names.find(paradox::fileNameOf(from));
        if (!st.isOk() || (!from.empty() && it == m_names.end()))
            return st; // nothing there to name
        const std::size_t file = from.empty() ? m_files++ : it->second;
        if (!from.empty())
            m_names.erase(it);
        if (!to.empty())
            m_names[paradox::fileNameOf(to)] = file;
        trace.ops.push_back({Op::Name, file, paradox::fileNameOf(to), 0, {data.begin(), data.end()}});
        return st;
    }

    paradox::FileSystem& m_inner;
    std::map<std::string, std::size_t> m_names; // as the program sees the folder
    std::size_t m_files = 0;
};

// What is on the disk: names and, apart, each file's bytes.
struct Disk {
    std::map<std::string, std::size_t> names;
    std::vector<std::vector<std::byte>> files;

    // A new file's bytes are durable before its name: they are there from the start.
    explicit Disk(const Trace& trace)
    {
        for (const auto& [name, bytes] : trace.initial) {
            names[name] = files.size();
            files.push_back(bytes);
        }
        for (const Op& op : trace.ops)
            if (op.kind == Op::Name && op.file == files.size())
                files.push_back(op.bytes);
    }
    void apply(const Op& op)
    {
        if (op.kind == Op::Name) {
            std::erase_if(names, [&](const auto& entry) { return entry.second == op.file; });
            if (!op.name.empty())
                names[op.name] = op.file;
        } else if (op.kind == Op::Write) {
            // Within the file: files do not grow through paradox::File.
            std::copy(op.bytes.begin(), op.bytes.end(), files[op.file].begin() + op.offset);
        }
    }
    std::uint64_t hash() const
    {
        std::uint64_t h = 0;
        for (const auto& [name, file] : names)
            h = paradox::journalChecksum(files[file].data(), files[file].size(), h ^ std::hash<std::string>{}(name));
        return h;
    }
    Folder folder() const
    {
        Folder out;
        for (const auto& [name, file] : names)
            out[name] = files[file];
        return out;
    }
};

// The folder once everything in `trace` reached the disk.
Folder finalFolder(const Trace& trace)
{
    Disk disk(trace);
    for (const Op& op : trace.ops)
        disk.apply(op);
    return disk.folder();
}

// Calls `visit` once for each distinct folder a crash during `trace` can
// leave, with where the crash fell; returns how many there were. Up to
// `exhaustive` pending pieces every subset is tried; beyond, each piece kept
// alone, lost alone and kept with all before it at 4 * `exhaustive` points
// spread over them, and `exhaustive` squared random subsets.
std::size_t replayCrashStates(const Trace& trace, std::size_t exhaustive,
                              const std::function<void(const Folder&, const std::string& where)>& visit)
{
    const std::vector<Op>& ops = trace.ops;
    Disk durable(trace);
    std::vector<std::size_t> pending, tried{ops.size()};
    std::unordered_set<std::uint64_t> seen;
    std::mt19937_64 random(1);
    // A crash just before the flush `at` covers those since the last flush:
    // they had only part of what is pending now.
    auto crash = [&](std::size_t at) {
        if (pending == tried)
            return;
        tried = pending;
        const std::size_t n = pending.size();
        const std::string where = "crash after " + std::to_string(at) + " of " + std::to_string(ops.size()) +
                                  " operations, keeping pending pieces ";
        auto keep = [&](auto kept) {
            Disk disk = durable;
            std::string which;
            for (std::size_t k = 0; k < n; ++k) {
                which += kept(k) ? '1' : '0';
                if (which.back() == '1')
                    disk.apply(ops[pending[k]]);
            }
            if (seen.insert(disk.hash()).second)
                visit(disk.folder(), where + which);
        };
        if (n <= exhaustive) {
            for (std::uint64_t mask = 0; mask < (std::uint64_t{1} << n); ++mask)
                keep([&](std::size_t k) { return ((mask >> k) & 1) != 0; });
            return;
        }
        keep([](std::size_t) { return true; });
        const std::size_t step = std::max<std::size_t>(1, n / (4 * exhaustive));
        for (std::size_t j = 0; j < n; j += step) {
            keep([&](std::size_t k) { return k < j; });
            keep([&](std::size_t k) { return k == j; });
            keep([&](std::size_t k) { return k != j; });
        }
        for (std::size_t s = 0; s < exhaustive * exhaustive; ++s)
            keep([&](std::size_t) { return (random() & 1) != 0; });
    };
    for (std::size_t i = 0; i < ops.size(); ++i) {
        const Op& op = ops[i];
        if (op.kind != Op::Flush) {
            pending.push_back(i);
            continue;
        }
        crash(i);
        std::erase_if(pending, [&](std::size_t p) {
            const Op& q = ops[p];
            const bool flushed = op.file == kFolder ? q.kind == Op::Name : q.kind == Op::Write && q.file == op.file;
            if (flushed)
                durable.apply(q);
            return flushed;
        });
    }
    crash(ops.size());
    return seen.size();
}

Trace record(paradox::FileSystem& inner, const Folder& initial,
             const std::function<void(paradox::FileSystem&)>& change)
{
    RecordingFileSystem fs(inner, initial);
    change(fs);
    return std::move(fs.trace);
}

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
    const Trace trace = record(memory, {{"a", zeros}}, [&](paradox::FileSystem& fs) {
        std::unique_ptr<paradox::File> a;
        ASSERT_TRUE(fs.open("d/a", paradox::OpenMode::ReadWrite, &a).isOk() && a->writeAt(256, ones).isOk() &&
                    fs.createFile("d/t", twos).isOk() && fs.rename("d/t", "d/j").isOk() && a->sync().isOk() &&
                    fs.syncDirectory("d").isOk() && a->writeAt(0, twos).isOk());
    });
    std::set<Folder> seen;
    replayCrashStates(trace, 8, [&](const Folder& state, const std::string&) { seen.insert(state); });
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

    Trace recordOnDisk(const std::function<void(paradox::FileSystem&)>& change) const
    {
        const Trace trace = record(paradox::FileSystem::standard(), onDisk(), change);
        EXPECT_TRUE(finalFolder(trace) == onDisk()) << "the record misses a change to the folder";
        return trace;
    }

    // Opens each folder a crash during `trace` can leave, as the next
    // gridshift would, and checks the tables; replays crashes during one
    // recovery in 32 as well. Returns how many folders were opened.
    std::size_t replay(const Trace& trace, std::size_t exhaustive, const Folder& before, const Folder& after,
                       const std::string& context = {})
    {
        std::size_t nested = 0;
        auto open = [&](const Folder& state, const std::string& crash) {
            testsupport::MemoryFileSystem memory;
            for (const auto& [name, bytes] : state)
                memory.files["db/" + name] = bytes;
            Recovery recovery;
            Status st;
            const Trace recovering = record(memory, state, [&](paradox::FileSystem& fs) {
                st = journalOver(fs, "db/").recover(&recovery);
            });
            const std::string then = whole(state, before, after);
            const std::string tables = whole(finalFolder(recovering), before, after);
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
        return replayCrashStates(trace, exhaustive, open) + nested;
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
    const Trace shifting = recordOnDisk([&](paradox::FileSystem& fs) {
        EXPECT_EQ(shiftEverywhere(dir.path(), fs, 15, 50, 150), "");
    });
    const Folder after = tablesOf(onDisk());
    ASSERT_TRUE(after != before) << "the shift changed nothing";
    const Trace undoing = recordOnDisk([&](paradox::FileSystem& fs) {
        std::vector<std::string> files;
        const Status st = journalOver(fs, grid::hostFolder(prefix)).undoLast(&files);
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

#include "crash_states.h"

#include "paradox/journal.h"
#include "paradox/paths.h"

#include <algorithm>
#include <random>
#include <unordered_set>

namespace testsupport {
namespace {

using paradox::Status;
constexpr std::uint64_t kSector = 512;

class RecordingFile : public paradox::File {
public:
    RecordingFile(std::unique_ptr<paradox::File> inner, std::vector<FolderOp>& ops, std::size_t file)
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
            m_ops.push_back({FolderOp::Write, m_file, {}, at, {part.begin(), part.end()}});
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
            m_ops.push_back({FolderOp::Flush, m_file, {}, 0, {}});
        return st;
    }

    std::unique_ptr<paradox::File> m_inner;
    std::vector<FolderOp>& m_ops;
    std::size_t m_file;
};

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
            trace.ops.push_back({FolderOp::Flush, FolderOp::kFolder, {}, 0, {}});
        return st;
    }

    FolderTrace trace;

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
        trace.ops.push_back({FolderOp::Name, file, paradox::fileNameOf(to), 0, {data.begin(), data.end()}});
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
    explicit Disk(const FolderTrace& trace)
    {
        for (const auto& [name, bytes] : trace.initial) {
            names[name] = files.size();
            files.push_back(bytes);
        }
        for (const FolderOp& op : trace.ops)
            if (op.kind == FolderOp::Name && op.file == files.size())
                files.push_back(op.bytes);
    }
    void apply(const FolderOp& op)
    {
        if (op.kind == FolderOp::Name) {
            std::erase_if(names, [&](const auto& entry) { return entry.second == op.file; });
            if (!op.name.empty())
                names[op.name] = op.file;
        } else if (op.kind == FolderOp::Write) {
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

} // namespace

FolderTrace recordChange(paradox::FileSystem& inner, Folder initial,
                         const std::function<void(paradox::FileSystem&)>& change)
{
    RecordingFileSystem fs(inner, std::move(initial));
    change(fs);
    return std::move(fs.trace);
}

std::size_t replayCrashStates(const FolderTrace& trace, std::size_t exhaustive,
                              const std::function<void(const Folder&, const std::string& where)>& visit)
{
    const std::vector<FolderOp>& ops = trace.ops;
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
        const FolderOp& op = ops[i];
        if (op.kind != FolderOp::Flush) {
            pending.push_back(i);
            continue;
        }
        crash(i);
        std::vector<std::size_t> still;
        for (std::size_t p : pending) {
            const FolderOp& q = ops[p];
            if (op.file == FolderOp::kFolder ? q.kind == FolderOp::Name
                                             : q.kind == FolderOp::Write && q.file == op.file)
                durable.apply(q);
            else
                still.push_back(p);
        }
        pending = std::move(still);
    }
    crash(ops.size());
    return seen.size();
}

Folder finalFolder(const FolderTrace& trace)
{
    Disk disk(trace);
    for (const FolderOp& op : trace.ops)
        disk.apply(op);
    return disk.folder();
}

} // namespace testsupport

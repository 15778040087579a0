#include "crash_states.h"

#include "paradox/journal.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <unordered_set>

namespace testsupport {
namespace {

using paradox::Status;
using Kind = FolderOp::Kind;

FolderOp makeOp(Kind kind, int file = -1, std::string name = {}, std::string to = {})
{
    FolderOp op;
    op.kind = kind;
    op.file = file;
    op.name = std::move(name);
    op.to = std::move(to);
    return op;
}

class RecordingFile : public paradox::File {
public:
    RecordingFile(std::unique_ptr<paradox::File> inner, RecordingFileSystem* owner, int file, std::string name)
        : m_inner(std::move(inner)), m_owner(owner), m_file(file), m_name(std::move(name))
    {
    }
    ~RecordingFile() override { (void)close(); }

    const std::string& path() const override { return m_inner->path(); }
    bool writable() const override { return m_inner->writable(); }
    std::span<const std::byte> contents() const override { return m_inner->contents(); }

    Status writeAt(std::uint64_t offset, std::span<const std::byte> data) override
    {
        Status st = m_inner->writeAt(offset, data);
        if (st.isOk())
            recordWrite(offset, data);
        return st;
    }

    Status writeRuns(std::span<const Run> runs) override
    {
        Status st = m_inner->writeRuns(runs);
        if (st.isOk())
            for (const Run& r : runs)
                recordWrite(r.offset, r.data);
        return st;
    }

    Status sync() override
    {
        Status st = m_inner->sync();
        if (st.isOk() && !m_closed && m_inner->writable())
            m_owner->record(makeOp(Kind::Sync, m_file, m_name));
        return st;
    }

    Status lockExclusive() override { return m_inner->lockExclusive(); }
    Status checkUnchanged() override { return m_inner->checkUnchanged(); }

    // Closing flushes.
    Status close() override
    {
        if (m_closed)
            return Status::ok();
        m_closed = true;
        const bool writable = m_inner->writable();
        Status st = m_inner->close();
        if (st.isOk() && writable)
            m_owner->record(makeOp(Kind::Sync, m_file, m_name));
        return st;
    }

private:
    void recordWrite(std::uint64_t offset, std::span<const std::byte> data)
    {
        FolderOp op = makeOp(Kind::Write, m_file, m_name);
        op.offset = offset;
        op.bytes.assign(data.begin(), data.end());
        m_owner->record(std::move(op));
    }

    std::unique_ptr<paradox::File> m_inner;
    RecordingFileSystem* m_owner;
    int m_file;
    std::string m_name;
    bool m_closed = false;
};

} // namespace

std::string fileNameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

RecordingFileSystem::RecordingFileSystem(paradox::FileSystem& inner, Folder initial) : m_inner(inner)
{
    for (const auto& [name, bytes] : initial) {
        m_names[name] = static_cast<int>(m_trace.names.size());
        m_trace.names.push_back(name);
    }
    m_trace.initial = std::move(initial);
}

int RecordingFileSystem::fileNamed(const std::string& name, const paradox::File* opened)
{
    auto it = m_names.find(name);
    if (it != m_names.end())
        return it->second;
    // A file the caller left out of the folder it gave: it stood as it is now.
    const int file = static_cast<int>(m_trace.names.size());
    m_trace.names.push_back(name);
    const auto bytes = opened->contents();
    m_trace.initial[name].assign(bytes.begin(), bytes.end());
    m_names[name] = file;
    return file;
}

Status RecordingFileSystem::recorded(Status opened, const std::string& path, std::unique_ptr<paradox::File> inner,
                                     std::unique_ptr<paradox::File>* out)
{
    if (!opened.isOk())
        return opened;
    const std::string name = fileNameOf(path);
    const int file = fileNamed(name, inner.get());
    *out = std::make_unique<RecordingFile>(std::move(inner), this, file, name);
    return opened;
}

Status RecordingFileSystem::open(const std::string& path, paradox::OpenMode mode,
                                 std::unique_ptr<paradox::File>* out)
{
    std::unique_ptr<paradox::File> inner;
    Status st = m_inner.open(path, mode, &inner);
    return recorded(st, path, std::move(inner), out);
}

// The inner system's own refusal of links and devices, with the writes recorded.
Status RecordingFileSystem::openEntry(const std::string& path, paradox::OpenMode mode,
                                      std::unique_ptr<paradox::File>* out)
{
    std::unique_ptr<paradox::File> inner;
    Status st = m_inner.openEntry(path, mode, &inner);
    return recorded(st, path, std::move(inner), out);
}

Status RecordingFileSystem::createFile(const std::string& path, std::span<const std::byte> data)
{
    Status st = m_inner.createFile(path, data);
    if (!st.isOk())
        return st;
    const std::string name = fileNameOf(path);
    FolderOp op = makeOp(Kind::Create, static_cast<int>(m_trace.names.size()), name);
    op.bytes.assign(data.begin(), data.end());
    m_trace.names.emplace_back();
    m_names[name] = op.file;
    record(std::move(op));
    return st;
}

Status RecordingFileSystem::rename(const std::string& from, const std::string& to)
{
    Status st = m_inner.rename(from, to);
    const std::string name = fileNameOf(from);
    auto it = m_names.find(name);
    if (!st.isOk() || it == m_names.end())
        return st;
    FolderOp op = makeOp(Kind::Rename, it->second, name, fileNameOf(to));
    m_names.erase(it);
    m_names[op.to] = op.file;
    record(std::move(op));
    return st;
}

Status RecordingFileSystem::remove(const std::string& path)
{
    Status st = m_inner.remove(path);
    auto it = m_names.find(fileNameOf(path));
    if (!st.isOk() || it == m_names.end())
        return st;
    record(makeOp(Kind::Remove, it->second, it->first));
    m_names.erase(it);
    return st;
}

Status RecordingFileSystem::syncDirectory(const std::string& dir)
{
    Status st = m_inner.syncDirectory(dir);
    if (st.isOk())
        record(makeOp(Kind::SyncFolder));
    return st;
}

namespace {

// What is on the disk: names and, apart, each file's bytes.
struct Disk {
    std::map<std::string, int> names;
    std::vector<std::vector<std::byte>> files;
};

// A piece of an operation that may reach the disk on its own: a sector's
// part of a write, or a change of a name.
struct Piece {
    std::size_t op = 0;
    std::size_t begin = 0, length = 0; // of a write's bytes
};

void apply(const FolderTrace& trace, const Piece& p, Disk* disk)
{
    const FolderOp& op = trace.ops[p.op];
    switch (op.kind) {
    case Kind::Write: {
        std::vector<std::byte>& bytes = disk->files.at(static_cast<std::size_t>(op.file));
        const std::uint64_t at = op.offset + p.begin;
        if (at > bytes.size() || p.length > bytes.size() - at)
            throw std::logic_error("a recorded write past the end of " + op.name);
        std::memcpy(bytes.data() + at, op.bytes.data() + p.begin, p.length);
        break;
    }
    case Kind::Create:
        disk->names[op.name] = op.file;
        break;
    case Kind::Rename: {
        auto it = disk->names.find(op.name);
        if (it != disk->names.end() && it->second == op.file)
            disk->names.erase(it);
        disk->names[op.to] = op.file;
        break;
    }
    case Kind::Remove: {
        auto it = disk->names.find(op.name);
        if (it != disk->names.end() && it->second == op.file)
            disk->names.erase(it);
        break;
    }
    case Kind::Sync:
    case Kind::SyncFolder:
        break;
    }
}

Disk initialDisk(const FolderTrace& trace)
{
    Disk disk;
    disk.files.resize(trace.names.size());
    for (std::size_t f = 0; f < trace.names.size(); ++f)
        if (!trace.names[f].empty()) {
            disk.names[trace.names[f]] = static_cast<int>(f);
            disk.files[f] = trace.initial.at(trace.names[f]);
        }
    return disk;
}

Folder folderOf(const Disk& disk)
{
    Folder out;
    for (const auto& [name, file] : disk.names)
        out[name] = disk.files.at(static_cast<std::size_t>(file));
    return out;
}

std::uint64_t hashOf(const Folder& folder)
{
    std::uint64_t h = 0;
    for (const auto& [name, bytes] : folder) {
        h = paradox::journalChecksum(reinterpret_cast<const std::byte*>(name.data()), name.size(), h);
        h = paradox::journalChecksum(bytes.data(), bytes.size(), h);
    }
    return h;
}

std::string describe(const FolderOp& op)
{
    switch (op.kind) {
    case Kind::Write:
        return "write of " + std::to_string(op.bytes.size()) + " bytes at " + std::to_string(op.offset) + " of " +
               op.name;
    case Kind::Sync:
        return "flush of " + op.name;
    case Kind::Create:
        return "creation of " + op.name;
    case Kind::Rename:
        return "rename of " + op.name + " to " + op.to;
    case Kind::Remove:
        return "removal of " + op.name;
    case Kind::SyncFolder:
        return "flush of the folder";
    }
    return {};
}

// Walks the trace, keeping what is durable apart from what is pending.
class Replayer {
public:
    Replayer(const FolderTrace& trace, const CrashPolicy& policy,
             const std::function<void(const Folder&, const std::string&)>& visit)
        : m_trace(trace), m_policy(policy), m_visit(visit), m_random(policy.seed), m_disk(initialDisk(trace))
    {
    }

    std::size_t run()
    {
        for (std::size_t i = 0; i < m_trace.ops.size(); ++i) {
            const FolderOp& op = m_trace.ops[i];
            switch (op.kind) {
            case Kind::Write:
                for (std::size_t b = 0; b < op.bytes.size();) {
                    const std::size_t sector = m_policy.sectorSize;
                    const std::size_t end =
                        std::min<std::size_t>(op.bytes.size(),
                                              static_cast<std::size_t>((op.offset + b) / sector + 1) * sector -
                                                  op.offset);
                    m_pending.push_back(Piece{i, b, end - b});
                    b = end;
                }
                m_grown = true;
                break;
            case Kind::Create:
                m_disk.files.at(static_cast<std::size_t>(op.file)) = op.bytes;
                [[fallthrough]];
            case Kind::Rename:
            case Kind::Remove:
                m_pending.push_back(Piece{i, 0, 0});
                m_grown = true;
                break;
            case Kind::Sync:
                crash(i);
                settle([&](const FolderOp& p) { return p.kind == Kind::Write && p.file == op.file; });
                break;
            case Kind::SyncFolder:
                crash(i);
                settle([](const FolderOp& p) { return p.kind != Kind::Write; });
                break;
            }
        }
        crash(m_trace.ops.size());
        return m_seen.size();
    }

private:
    template <class Pred>
    void settle(Pred durableNow)
    {
        std::vector<Piece> still;
        for (const Piece& p : m_pending) {
            if (durableNow(m_trace.ops[p.op]))
                apply(m_trace, p, &m_disk);
            else
                still.push_back(p);
        }
        // What is pending changed: the next crash point draws from it afresh.
        m_grown = m_grown || still.size() != m_pending.size();
        m_pending = std::move(still);
    }

    // The states a crash just before operation `at` can leave. Later crashes
    // before the next flush only add to what is pending, so these cover them.
    void crash(std::size_t at)
    {
        if (!m_grown && !m_seen.empty())
            return;
        m_grown = false;
        const std::size_t n = m_pending.size();
        const std::string point = at < m_trace.ops.size() ? "crash before operation " + std::to_string(at + 1) +
                                                                " of " + std::to_string(m_trace.ops.size()) + " (" +
                                                                describe(m_trace.ops[at]) + ")"
                                                          : "crash after the last operation";
        auto keep = [&](const std::vector<bool>& kept) {
            Disk disk = m_disk;
            for (std::size_t k = 0; k < n; ++k)
                if (kept[k])
                    apply(m_trace, m_pending[k], &disk);
            Folder folder = folderOf(disk);
            if (!m_seen.insert(hashOf(folder)).second)
                return;
            // Runs of kept pieces, counted from 1: "1-4, 9".
            std::string which;
            for (std::size_t k = 0; k < n; ++k) {
                if (!kept[k] || (k > 0 && kept[k - 1]))
                    continue;
                std::size_t last = k;
                while (last + 1 < n && kept[last + 1])
                    ++last;
                which += (which.empty() ? "" : ", ") + std::to_string(k + 1) +
                         (last > k ? "-" + std::to_string(last + 1) : "");
            }
            m_visit(folder, point + ", keeping " + (which.empty() ? "none" : which) + " of " + std::to_string(n) +
                                " pending pieces");
        };
        if (n <= static_cast<std::size_t>(m_policy.exhaustiveUpTo)) {
            for (std::uint64_t mask = 0; mask < (std::uint64_t{1} << n); ++mask) {
                std::vector<bool> kept(n);
                for (std::size_t k = 0; k < n; ++k)
                    kept[k] = (mask >> k) & 1;
                keep(kept);
            }
            return;
        }
        const std::size_t spread = std::min<std::size_t>(n, static_cast<std::size_t>(m_policy.spread));
        for (std::size_t i = 0; i <= spread; ++i) {
            const std::size_t k = i * n / spread;
            std::vector<bool> prefix(n, false), alone(n, false), allBut(n, true);
            std::fill(prefix.begin(), prefix.begin() + static_cast<long>(k), true);
            keep(prefix);
            if (k == n)
                break;
            alone[k] = true;
            allBut[k] = false;
            keep(alone);
            keep(allBut);
        }
        for (int s = 0; s < m_policy.sampled; ++s) {
            std::vector<bool> kept(n);
            for (std::size_t k = 0; k < n; ++k)
                kept[k] = (m_random() & 1) != 0;
            keep(kept);
        }
    }

    const FolderTrace& m_trace;
    const CrashPolicy& m_policy;
    const std::function<void(const Folder&, const std::string&)>& m_visit;
    std::mt19937_64 m_random;
    Disk m_disk;
    std::vector<Piece> m_pending;
    bool m_grown = true;
    std::unordered_set<std::uint64_t> m_seen;
};

} // namespace

std::size_t replayCrashStates(const FolderTrace& trace, const CrashPolicy& policy,
                              const std::function<void(const Folder&, const std::string& where)>& visit)
{
    return Replayer(trace, policy, visit).run();
}

Folder finalFolder(const FolderTrace& trace)
{
    Disk disk = initialDisk(trace);
    for (std::size_t i = 0; i < trace.ops.size(); ++i) {
        const FolderOp& op = trace.ops[i];
        if (op.kind == Kind::Create)
            disk.files.at(static_cast<std::size_t>(op.file)) = op.bytes;
        apply(trace, {i, 0, op.bytes.size()}, &disk);
    }
    return folderOf(disk);
}

} // namespace testsupport

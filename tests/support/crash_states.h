#pragma once

// Power cuts replayed from a record of a change, the way a disk can leave a
// folder: a file system that records every write, flush, creation, rename
// and removal a program makes in one folder, and a replayer that builds, at
// every point where the program waits for the disk, the folders a crash
// there can leave behind.
//
// What reaches the disk, and when:
//   - a write is durable once its file is flushed (File::sync or close);
//     until then any of the writes since the file's last flush may be lost,
//     in any combination and so out of order, and each may be torn at
//     sector boundaries, some of its sectors kept and others not;
//   - a new file's bytes are durable when createFile returns (both systems
//     flush them), its name only after the folder is flushed;
//   - creations, renames and removals are durable once the folder is
//     flushed; until then any combination of them may be lost.
// A crash keeps a subset of what is pending, applied in the program's order.

#include "paradox/file.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// A folder's files by name.
using Folder = std::map<std::string, std::vector<std::byte>>;

// One change to the folder, as the program asked for it. `file` is the file
// itself, whatever its name is at the time, numbered from 0 in the order
// the recording met them.
struct FolderOp {
    enum class Kind { Write, Sync, Create, Rename, Remove, SyncFolder };
    Kind kind = Kind::Write;
    int file = -1;
    std::string name, to; // file names
    std::uint64_t offset = 0;
    std::vector<std::byte> bytes; // Write: the bytes; Create: the file's
};

struct FolderTrace {
    std::vector<std::string> names; // the files' first names; "" for files created later
    Folder initial;
    std::vector<FolderOp> ops;
};

// Passes everything to `inner`, recording each change to a file of the
// folder and each flush. Every path must lie in one folder: only file names
// are kept.
class RecordingFileSystem : public paradox::FileSystem {
public:
    // `initial` is the folder as it stands, by name.
    RecordingFileSystem(paradox::FileSystem& inner, Folder initial);

    const FolderTrace& trace() const { return m_trace; }

    paradox::Status open(const std::string& path, paradox::OpenMode mode,
                         std::unique_ptr<paradox::File>* out) override;
    paradox::Status openEntry(const std::string& path, paradox::OpenMode mode,
                              std::unique_ptr<paradox::File>* out) override;
    // Readers change nothing: the inner system's own, unrecorded.
    paradox::Status openReader(const std::string& path, std::unique_ptr<paradox::FileReader>* out) override
    {
        return m_inner.openReader(path, out);
    }
    paradox::Status createFile(const std::string& path, std::span<const std::byte> data) override;
    paradox::Status probeLock(const std::string& path, bool* locked) override
    {
        return m_inner.probeLock(path, locked);
    }
    paradox::Status listDirectory(const std::string& dir, std::vector<std::string>* names) override
    {
        return m_inner.listDirectory(dir, names);
    }
    paradox::Status rename(const std::string& from, const std::string& to) override;
    paradox::Status remove(const std::string& path) override;
    paradox::Status syncDirectory(const std::string& dir) override;

    // For the files' wrappers.
    void record(FolderOp op) { m_trace.ops.push_back(std::move(op)); }

private:
    int fileNamed(const std::string& name, const paradox::File* opened);
    paradox::Status recorded(paradox::Status opened, const std::string& path, std::unique_ptr<paradox::File> inner,
                             std::unique_ptr<paradox::File>* out);

    paradox::FileSystem& m_inner;
    FolderTrace m_trace;
    std::map<std::string, int> m_names; // as the program sees the folder
};

struct CrashPolicy {
    std::size_t sectorSize = 512;
    // Pending pieces up to which every subset is tried. Beyond, up to
    // `spread` each of: prefixes, pieces kept alone, pieces lost alone (evenly
    // spread over the pending ones), and `sampled` subsets drawn from a
    // generator seeded with `seed`.
    int exhaustiveUpTo = 8;
    int spread = 32;
    int sampled = 64;
    std::uint64_t seed = 1;
};

// Calls `visit` once for each distinct folder that a crash during `trace`
// can leave, with a line saying where the crash fell and what it kept;
// returns how many there were.
std::size_t replayCrashStates(const FolderTrace& trace, const CrashPolicy& policy,
                              const std::function<void(const Folder&, const std::string& where)>& visit);

// The folder once everything in `trace` reached the disk.
Folder finalFolder(const FolderTrace& trace);

// The base name of a path, either separator.
std::string fileNameOf(const std::string& path);

} // namespace testsupport

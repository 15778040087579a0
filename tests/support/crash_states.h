#pragma once

// Power cuts replayed from a record of a change. A file system records what a
// program writes, flushes, creates, renames and removes in one folder; a
// replayer builds, at every point where the program waits for the disk, the
// folders a crash there can leave:
//   - a write reaches the disk a 512-byte sector at a time, each sector on
//     its own and in any order, until its file is flushed (sync or close);
//   - a new file's bytes are durable when it is created, but its name, like
//     a rename or a removal, may be lost until the folder is flushed.
// A crash keeps a subset of what is pending, applied in the program's order.

#include "paradox/file.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

using Folder = std::map<std::string, std::vector<std::byte>>;

struct FolderOp {
    enum Kind { Write, Name, Flush } kind;
    static constexpr std::size_t kFolder = -1;
    std::size_t file; // numbered as met, the initial folder's first; or the folder
    std::string name; // Name: the file's new name, "" once removed
    std::uint64_t offset = 0;
    std::vector<std::byte> bytes; // Write: one sector's part; Name of a new file: the file's
};

struct FolderTrace {
    Folder initial;
    std::vector<FolderOp> ops;
};

// Runs `change` over a file system that passes everything to `inner` and
// records each change and flush. Every path must lie in the folder whose
// files, as they stand, are `initial`.
FolderTrace recordChange(paradox::FileSystem& inner, Folder initial,
                         const std::function<void(paradox::FileSystem&)>& change);

// Calls `visit` once for each distinct folder a crash during `trace` can
// leave, with where the crash fell; returns how many there were. Up to
// `exhaustive` pending pieces every subset is tried; beyond, each piece kept
// alone, lost alone and kept with all before it at 4 * `exhaustive` points
// spread over them, and `exhaustive` squared random subsets.
std::size_t replayCrashStates(const FolderTrace& trace, std::size_t exhaustive,
                              const std::function<void(const Folder&, const std::string& where)>& visit);

// The folder once everything in `trace` reached the disk.
Folder finalFolder(const FolderTrace& trace);

} // namespace testsupport

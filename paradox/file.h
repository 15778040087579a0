#pragma once

#include "paradox/status.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace paradox {

enum class OpenMode { ReadOnly, ReadWrite };

// An open file of a table's family. The whole file is visible as bytes (mapped
// into memory where the system allows, else read once); writes go straight to
// the file and keep those bytes current. Files never grow through this class.
class File {
public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    virtual ~File() = default;

    virtual const std::string& path() const = 0;
    virtual bool writable() const = 0;

    // The file's bytes as they stand; valid until close().
    virtual std::span<const std::byte> contents() const = 0;

    // Overwrites bytes inside the file. The change is visible to other
    // programs when this returns; sync() makes it durable.
    virtual Status writeAt(std::uint64_t offset, std::span<const std::byte> data) = 0;

    // Bytes for one place of the file, written among others by writeRuns().
    struct Run {
        std::uint64_t offset = 0;
        std::span<const std::byte> data;
    };
    // Writes runs that ascend by offset and do not overlap, with the same
    // result as writeAt() for each in turn; stops at the first failure. A
    // system where each call is costly may join neighbouring runs.
    virtual Status writeRuns(std::span<const Run> runs);

    virtual Status sync() = 0;

    // Takes an exclusive lock on the whole file, held until close(). Fails
    // with Code::InUse when another program holds a lock on it.
    virtual Status lockExclusive() = 0;

    // Fails when, since the open, another program truncated, grew or replaced
    // the file at this path; contents() then no longer tells what is on disk.
    // Bytes of a truncated mapping read as zeros rather than crash.
    virtual Status checkUnchanged() { return Status::ok(); }

    // Flushes, unlocks and closes; later calls do nothing.
    virtual Status close() = 0;
};

// A file read a piece at a time, never held whole: for files whose size is
// not ours to trust.
class FileReader {
public:
    virtual ~FileReader() = default;
    virtual std::uint64_t size() const = 0;
    // Fills `out` from `offset`; fails when the file ends first.
    virtual Status readAt(std::uint64_t offset, std::span<std::byte> out) = 0;
};

// Opens and creates files; the seam through which tests inject failures.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Code::NotFound when the file does not exist; a read-write open that the
    // system refuses fails with Code::ReadOnly.
    virtual Status open(const std::string& path, OpenMode mode, std::unique_ptr<File>* out) = 0;

    // Opens a file that must be the folder's own regular file: a link, a
    // reparse point, a folder, a pipe or a device at `path` fails with
    // Code::NotSupported. Without links, as here, the same as open().
    virtual Status openEntry(const std::string& path, OpenMode mode, std::unique_ptr<File>* out)
    {
        return open(path, mode, out);
    }

    // Opens such a file for reading a piece at a time, without blocking on a
    // pipe: Code::NotFound when there is nothing at `path`, Code::NotSupported
    // when it is not a regular file.
    virtual Status openReader(const std::string& path, std::unique_ptr<FileReader>* out);

    // Writes a new file holding `data`; fails if the file already exists.
    virtual Status createFile(const std::string& path, std::span<const std::byte> data) = 0;

    // Sets `*locked` when another program holds a lock on the file (POSIX
    // byte-range locks; on Windows, the file cannot be opened exclusively).
    // A missing file is not locked.
    virtual Status probeLock(const std::string& path, bool* locked) = 0;

    // Names of the entries of a folder.
    virtual Status listDirectory(const std::string& dir, std::vector<std::string>* names);

    // Replaces `to` with `from` in one step: a reader sees one or the other.
    virtual Status rename(const std::string& from, const std::string& to);
    // Removing a file that is not there succeeds.
    virtual Status remove(const std::string& path);
    // Makes the folder's entries (created, renamed, removed files) durable.
    virtual Status syncDirectory(const std::string& dir);

    // The operating system's files.
    static FileSystem& standard();
};

} // namespace paradox

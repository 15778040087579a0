#pragma once

#include "paradox/file.h"

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

// Files held in memory, for tests that break tables byte by byte and for the
// fuzz target, which must not touch the disk. Paths are plain strings; a
// folder is whatever comes before the last '/'.
class MemoryFileSystem : public paradox::FileSystem {
public:
    // The files' bytes. Do not resize a file while it is open.
    std::map<std::string, std::vector<std::byte>> files;
    // Files another program holds a lock on.
    std::set<std::string> lockedFiles;
    // Files that open only read-only, as on a read-only medium.
    std::set<std::string> readOnlyFiles;
    // writeAt calls, over all files.
    int writes = 0;

    paradox::Status open(const std::string& path, paradox::OpenMode mode,
                         std::unique_ptr<paradox::File>* out) override;
    paradox::Status createFile(const std::string& path, std::span<const std::byte> data) override;
    paradox::Status probeLock(const std::string& path, bool* locked) override;
    paradox::Status listDirectory(const std::string& dir, std::vector<std::string>* names) override;
    paradox::Status rename(const std::string& from, const std::string& to) override;
    paradox::Status remove(const std::string& path) override;
    paradox::Status syncDirectory(const std::string&) override { return paradox::Status::ok(); }

    // Called before each write into a file lands: a seam for fakes that check
    // what is written.
    virtual void writing(const std::string& /*path*/, std::span<const std::byte> /*data*/) {}
};

} // namespace testsupport

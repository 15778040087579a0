#pragma once

#include "paradox/file.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

namespace testsupport {

// The system's files, with failures on demand: refuse read-write opens (as a
// read-only file or medium would, which root cannot otherwise see), fail
// writes once a budget of bytes is spent, or fail one chosen operation that
// changes files (a write, a flush, a creation, a rename, a removal, a
// folder flush), and with `failAfter` every one after it, as a dead disk would.
class FaultyFileSystem : public paradox::FileSystem {
public:
    bool refuseWriteOpen = false;
    std::string refuseWriteOpenOf; // only files whose path ends so
    std::int64_t writeBudget = std::numeric_limits<std::int64_t>::max();
    std::int64_t bytesWritten = 0;

    int operations = 0; // counted from 1
    int failAt = 0;     // 0: none
    bool failAfter = false;
    // False: flushes are counted but not made, for tests that fail thousands
    // of operations in turn and never lose power.
    bool durable = true;

    // Counts one operation; false when it must fail.
    bool proceed();

    paradox::Status open(const std::string& path, paradox::OpenMode mode,
                         std::unique_ptr<paradox::File>* out) override;
    paradox::Status createFile(const std::string& path, std::span<const std::byte> data) override;
    paradox::Status probeLock(const std::string& path, bool* locked) override
    {
        return paradox::FileSystem::standard().probeLock(path, locked);
    }
    paradox::Status listDirectory(const std::string& dir, std::vector<std::string>* names) override
    {
        return paradox::FileSystem::standard().listDirectory(dir, names);
    }
    paradox::Status rename(const std::string& from, const std::string& to) override;
    paradox::Status remove(const std::string& path) override;
    paradox::Status syncDirectory(const std::string& dir) override;
};

} // namespace testsupport

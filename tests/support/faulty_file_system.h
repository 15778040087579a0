#pragma once

#include "paradox/file.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

namespace testsupport {

// The system's files, with failures on demand: refuse read-write opens (as a
// read-only file or medium would, which root cannot otherwise see) and fail
// writes once a budget of bytes is spent.
class FaultyFileSystem : public paradox::FileSystem {
public:
    bool refuseWriteOpen = false;
    std::int64_t writeBudget = std::numeric_limits<std::int64_t>::max();
    std::int64_t bytesWritten = 0;

    paradox::Status open(const std::string& path, paradox::OpenMode mode,
                         std::unique_ptr<paradox::File>* out) override;
    paradox::Status createFile(const std::string& path, std::span<const std::byte> data) override
    {
        return paradox::FileSystem::standard().createFile(path, data);
    }
    paradox::Status probeLock(const std::string& path, bool* locked) override
    {
        return paradox::FileSystem::standard().probeLock(path, locked);
    }
};

} // namespace testsupport

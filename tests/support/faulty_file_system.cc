#include "faulty_file_system.h"

#include "test_support.h"

namespace testsupport {
namespace {

using paradox::Status;

Status injected(const std::string& path)
{
    return Status::ioError(path + ": Input/output error (injected)");
}

class FaultyFile : public paradox::File {
public:
    FaultyFile(std::unique_ptr<paradox::File> inner, FaultyFileSystem* owner)
        : m_inner(std::move(inner)), m_owner(owner)
    {
    }
    const std::string& path() const override { return m_inner->path(); }
    bool writable() const override { return m_inner->writable(); }
    std::span<const std::byte> contents() const override { return m_inner->contents(); }
    Status writeAt(std::uint64_t offset, std::span<const std::byte> data) override
    {
        if (m_owner->bytesWritten + static_cast<std::int64_t>(data.size()) > m_owner->writeBudget)
            return Status::ioError(path() + ": No space left on device");
        if (!m_owner->proceed())
            return injected(path());
        m_owner->bytesWritten += static_cast<std::int64_t>(data.size());
        return m_inner->writeAt(offset, data);
    }
    Status sync() override
    {
        if (m_inner->writable() && !m_owner->proceed())
            return injected(path());
        return m_owner->durable ? m_inner->sync() : Status::ok();
    }
    Status lockExclusive() override { return m_inner->lockExclusive(); }
    Status checkUnchanged() override { return m_inner->checkUnchanged(); }
    Status close() override { return m_inner->close(); }

private:
    std::unique_ptr<paradox::File> m_inner;
    FaultyFileSystem* m_owner;
};

} // namespace

bool FaultyFileSystem::proceed()
{
    ++operations;
    return failAt == 0 || operations < failAt || (operations > failAt && !failAfter);
}

Status FaultyFileSystem::open(const std::string& path, paradox::OpenMode mode, std::unique_ptr<paradox::File>* out)
{
    const bool named = !refuseWriteOpenOf.empty() && path.size() >= refuseWriteOpenOf.size() &&
                       path.compare(path.size() - refuseWriteOpenOf.size(), std::string::npos, refuseWriteOpenOf) ==
                           0;
    if ((refuseWriteOpen || named) && mode == paradox::OpenMode::ReadWrite)
        return Status::readOnly(path + ": Permission denied");
    std::unique_ptr<paradox::File> inner;
    Status st = paradox::FileSystem::standard().open(path, mode, &inner);
    if (!st.isOk())
        return st;
    *out = std::make_unique<FaultyFile>(std::move(inner), this);
    return Status::ok();
}

Status FaultyFileSystem::createFile(const std::string& path, std::span<const std::byte> data)
{
    if (!proceed())
        return injected(path);
    if (durable)
        return paradox::FileSystem::standard().createFile(path, data);
    if (fileExists(path))
        return Status::ioError(path + ": File exists");
    writeFile(path, std::vector<std::byte>(data.begin(), data.end()));
    return Status::ok();
}

Status FaultyFileSystem::rename(const std::string& from, const std::string& to)
{
    return proceed() ? paradox::FileSystem::standard().rename(from, to) : injected(to);
}

Status FaultyFileSystem::remove(const std::string& path)
{
    return proceed() ? paradox::FileSystem::standard().remove(path) : injected(path);
}

Status FaultyFileSystem::syncDirectory(const std::string& dir)
{
    if (!proceed())
        return injected(dir);
    return durable ? paradox::FileSystem::standard().syncDirectory(dir) : Status::ok();
}

} // namespace testsupport

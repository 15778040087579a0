#include "memory_file_system.h"

#include <cstring>

namespace testsupport {
namespace {

using paradox::Status;

class MemoryFile : public paradox::File {
public:
    MemoryFile(std::string path, std::vector<std::byte>* bytes, bool writable, MemoryFileSystem* owner)
        : m_path(std::move(path)), m_bytes(bytes), m_writable(writable), m_owner(owner)
    {
    }

    const std::string& path() const override { return m_path; }
    bool writable() const override { return m_writable; }
    std::span<const std::byte> contents() const override
    {
        if (!m_bytes)
            return {};
        return {m_bytes->data(), m_bytes->size()};
    }

    Status writeAt(std::uint64_t offset, std::span<const std::byte> data) override
    {
        if (!m_bytes)
            return Status::ioError(m_path + ": file is closed");
        if (!m_writable)
            return Status::readOnly(m_path + ": opened read-only");
        if (offset > m_bytes->size() || data.size() > m_bytes->size() - offset)
            return Status::invalidArgument(m_path + ": write past the end of the file");
        ++m_owner->writes;
        m_owner->writing(m_path, data);
        std::memcpy(m_bytes->data() + offset, data.data(), data.size());
        return Status::ok();
    }

    Status sync() override { return Status::ok(); }

    Status lockExclusive() override
    {
        if (m_owner->lockedFiles.count(m_path))
            return Status::inUse(m_path + ": the file is in use by another program");
        return Status::ok();
    }

    Status close() override
    {
        m_bytes = nullptr;
        return Status::ok();
    }

private:
    std::string m_path;
    std::vector<std::byte>* m_bytes;
    bool m_writable;
    MemoryFileSystem* m_owner;
};

} // namespace

Status MemoryFileSystem::open(const std::string& path, paradox::OpenMode mode, std::unique_ptr<paradox::File>* out)
{
    auto it = files.find(path);
    if (it == files.end())
        return Status::notFound(path + ": No such file or directory");
    const bool writable = mode == paradox::OpenMode::ReadWrite;
    if (writable && readOnlyFiles.count(path))
        return Status::readOnly(path + ": Permission denied");
    *out = std::make_unique<MemoryFile>(path, &it->second, writable, this);
    return Status::ok();
}

Status MemoryFileSystem::createFile(const std::string& path, std::span<const std::byte> data)
{
    if (files.count(path))
        return Status::ioError(path + ": File exists");
    files.emplace(path, std::vector<std::byte>(data.begin(), data.end()));
    return Status::ok();
}

Status MemoryFileSystem::probeLock(const std::string& path, bool* locked)
{
    *locked = lockedFiles.count(path) != 0;
    return Status::ok();
}

Status MemoryFileSystem::listDirectory(const std::string& dir, std::vector<std::string>* names)
{
    names->clear();
    std::string prefix = dir;
    if (!prefix.empty() && prefix.back() != '/')
        prefix += '/';
    for (const auto& [path, bytes] : files) {
        if (path.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string rest = path.substr(prefix.size());
        if (!rest.empty() && rest.find('/') == std::string::npos)
            names->push_back(rest);
    }
    return Status::ok();
}

Status MemoryFileSystem::rename(const std::string& from, const std::string& to)
{
    auto it = files.find(from);
    if (it == files.end())
        return Status::ioError(from + ": No such file or directory");
    std::vector<std::byte> bytes = std::move(it->second);
    files.erase(it);
    files[to] = std::move(bytes);
    return Status::ok();
}

Status MemoryFileSystem::remove(const std::string& path)
{
    files.erase(path);
    return Status::ok();
}

} // namespace testsupport

#include "faulty_file_system.h"

namespace testsupport {
namespace {

class FaultyFile : public paradox::File {
public:
    FaultyFile(std::unique_ptr<paradox::File> inner, FaultyFileSystem* owner)
        : m_inner(std::move(inner)), m_owner(owner)
    {
    }
    const std::string& path() const override { return m_inner->path(); }
    bool writable() const override { return m_inner->writable(); }
    std::span<const std::byte> contents() const override { return m_inner->contents(); }
    paradox::Status writeAt(std::uint64_t offset, std::span<const std::byte> data) override
    {
        if (m_owner->bytesWritten + static_cast<std::int64_t>(data.size()) > m_owner->writeBudget)
            return paradox::Status::ioError(path() + ": No space left on device");
        m_owner->bytesWritten += static_cast<std::int64_t>(data.size());
        return m_inner->writeAt(offset, data);
    }
    paradox::Status sync() override { return m_inner->sync(); }
    paradox::Status lockExclusive() override { return m_inner->lockExclusive(); }
    paradox::Status close() override { return m_inner->close(); }

private:
    std::unique_ptr<paradox::File> m_inner;
    FaultyFileSystem* m_owner;
};

} // namespace

paradox::Status FaultyFileSystem::open(const std::string& path, paradox::OpenMode mode,
                                       std::unique_ptr<paradox::File>* out)
{
    if (refuseWriteOpen && mode == paradox::OpenMode::ReadWrite)
        return paradox::Status::readOnly(path + ": Permission denied");
    std::unique_ptr<paradox::File> inner;
    paradox::Status st = paradox::FileSystem::standard().open(path, mode, &inner);
    if (!st.isOk())
        return st;
    *out = std::make_unique<FaultyFile>(std::move(inner), this);
    return paradox::Status::ok();
}

} // namespace testsupport

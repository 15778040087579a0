#include "paradox/file.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace paradox {
namespace {

std::filesystem::path fromUtf8(const std::string& s)
{
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

// The whole file's bytes, for file systems that hold files in memory.
class WholeFileReader final : public FileReader {
public:
    explicit WholeFileReader(std::unique_ptr<File> file) : m_file(std::move(file)) {}
    std::uint64_t size() const override { return m_file->contents().size(); }
    Status readAt(std::uint64_t offset, std::span<std::byte> out) override
    {
        const std::span<const std::byte> all = m_file->contents();
        if (offset > all.size() || out.size() > all.size() - offset)
            return Status::ioError(m_file->path() + ": file shrank while being read");
        std::copy_n(all.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
        return Status::ok();
    }

private:
    std::unique_ptr<File> m_file;
};

} // namespace

Status FileSystem::openReader(const std::string& path, std::unique_ptr<FileReader>* out)
{
    std::unique_ptr<File> file;
    Status st = openEntry(path, OpenMode::ReadOnly, &file);
    if (st.isOk())
        *out = std::make_unique<WholeFileReader>(std::move(file));
    return st;
}

Status File::writeRuns(std::span<const Run> runs)
{
    for (const Run& r : runs) {
        Status st = writeAt(r.offset, r.data);
        if (!st.isOk())
            return st;
    }
    return Status::ok();
}

Status FileSystem::listDirectory(const std::string& dir, std::vector<std::string>* names)
{
    names->clear();
    std::error_code ec;
    const std::filesystem::path folder = dir.empty() ? std::filesystem::path(".") : fromUtf8(dir);
    std::filesystem::directory_iterator it(folder, ec);
    if (ec)
        return Status::ioError(dir + ": " + ec.message());
    for (const auto& entry : it) {
        const std::u8string name = entry.path().filename().u8string();
        names->emplace_back(name.begin(), name.end());
    }
    return Status::ok();
}

Status FileSystem::rename(const std::string& from, const std::string& to)
{
    std::error_code ec;
    std::filesystem::rename(fromUtf8(from), fromUtf8(to), ec);
    if (ec)
        return Status::ioError(to + ": " + ec.message());
    return Status::ok();
}

Status FileSystem::remove(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(fromUtf8(path), ec);
    if (ec)
        return Status::ioError(path + ": " + ec.message());
    return Status::ok();
}

Status FileSystem::syncDirectory(const std::string&)
{
    return Status::ok();
}

} // namespace paradox

#include "paradox/file.h"

#include <filesystem>
#include <system_error>

namespace paradox {
namespace {

std::filesystem::path fromUtf8(const std::string& s)
{
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

} // namespace

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
    const std::filesystem::path folder =
        dir.empty() ? std::filesystem::path(".") : fromUtf8(dir);
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

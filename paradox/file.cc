#include "paradox/file.h"

#include <filesystem>
#include <system_error>

namespace paradox {

Status FileSystem::listDirectory(const std::string& dir, std::vector<std::string>* names)
{
    names->clear();
    std::error_code ec;
    const std::filesystem::path folder =
        dir.empty() ? std::filesystem::path(".") : std::filesystem::path(std::u8string(dir.begin(), dir.end()));
    std::filesystem::directory_iterator it(folder, ec);
    if (ec)
        return Status::ioError(dir + ": " + ec.message());
    for (const auto& entry : it) {
        const std::u8string name = entry.path().filename().u8string();
        names->emplace_back(name.begin(), name.end());
    }
    return Status::ok();
}

} // namespace paradox

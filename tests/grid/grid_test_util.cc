#include "grid_test_util.h"

#include <filesystem>

namespace {

// Folder names are UTF-8; a plain string means the ANSI code page on Windows.
std::filesystem::path fromUtf8(const std::string& s)
{
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

std::string toUtf8(const std::filesystem::path& p)
{
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

} // namespace

CurrentFolder::CurrentFolder(const std::string& folder) : m_previous(toUtf8(std::filesystem::current_path()))
{
    std::filesystem::current_path(fromUtf8(folder));
}

CurrentFolder::~CurrentFolder()
{
    std::filesystem::current_path(fromUtf8(m_previous));
}

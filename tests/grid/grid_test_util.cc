#include "grid_test_util.h"

#include <filesystem>

CurrentFolder::CurrentFolder(const std::string& folder) : m_previous(std::filesystem::current_path().string())
{
    std::filesystem::current_path(folder);
}

CurrentFolder::~CurrentFolder()
{
    std::filesystem::current_path(m_previous);
}

#pragma once

// Splitting the paths of a table's family of files.

#include <string>

namespace paradox {

// The file name without its folder; "/" and "\" both end a folder.
inline std::string fileNameOf(const std::string& path)
{
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The name without its last extension.
inline std::string stemOf(const std::string& name)
{
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

} // namespace paradox

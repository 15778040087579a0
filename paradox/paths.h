#pragma once

// Splitting the paths of a table's family of files.

#include "paradox/codepage.h"

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

// The last extension, in lower case, without its dot; empty when none.
inline std::string extensionOf(const std::string& name)
{
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : foldCase(name.substr(dot + 1));
}

// Whether a lower-case extension is a secondary index's of the kind 'x' (the
// index: .x02, .xg0) or 'y' (its blocks: .y02, .yg0); any kind when 0.
inline bool isSecondaryIndexExtension(const std::string& ext, char kind = 0)
{
    const auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
    return ext.size() == 3 && (kind ? ext[0] == kind : ext[0] == 'x' || ext[0] == 'y') &&
           ((hex(ext[1]) && hex(ext[2])) || (ext[1] == 'g' && hex(ext[2])));
}

} // namespace paradox

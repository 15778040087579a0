#include "grid/engine.h"

#include "paradox/codepage.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace grid {
namespace fs = std::filesystem;

namespace {

fs::path fromUtf8(const std::string& s)
{
    return fs::path(std::u8string(s.begin(), s.end()));
}

std::string toUtf8(const fs::path& p)
{
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

// The entry of `folder` named `name` without regard to letter case; the name
// itself when it exists as written or nothing matches.
std::string matchComponent(const fs::path& folder, const std::string& name)
{
    std::error_code ec;
    if (name == "." || name == ".." || fs::exists(folder / fromUtf8(name), ec))
        return name;
    const std::string wanted = paradox::foldCase(name);
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string candidate = toUtf8(it->path().filename());
        if (paradox::foldCase(candidate) == wanted)
            return candidate;
    }
    return name;
}

std::string winePrefix()
{
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        return prefix;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.wine";
}

} // namespace

std::string SlashedPath(const std::string& text)
{
    if (text.empty() || text.back() == '\\')
        return text;
    return text + '\\';
}

std::string hostPath(const std::string& windowsPath)
{
#if defined(_WIN32)
    return windowsPath;
#else
    std::string rest = windowsPath;
    fs::path result;
    const bool drive = rest.size() >= 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]));
    if (drive) {
        const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(rest[0])));
        result = fromUtf8(winePrefix()) / "dosdevices" / std::string{letter, ':'};
        rest = rest.substr(2);
    } else if (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) {
        result = "/";
    } else {
        std::error_code ec;
        result = fs::current_path(ec);
    }
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = rest.size();
        const std::string part = rest.substr(start, end - start);
        if (!part.empty())
            result /= fromUtf8(matchComponent(result, part));
        start = end + 1;
    }
    return toUtf8(result);
#endif
}

bool fileExists(const std::string& windowsPath)
{
    std::error_code ec;
    return fs::is_regular_file(fromUtf8(hostPath(windowsPath)), ec);
}

std::string hostFolder(const std::string& prefix)
{
    if (prefix.empty())
        return {};
    std::string folder = hostPath(prefix);
    if (folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    return folder;
}

std::string folderAsTyped(const std::string& prefix)
{
    std::string folder = prefix;
    // "D:\" and "\" are folders as they stand.
    const bool root = folder == "\\" || (folder.size() == 3 && folder[1] == ':');
    if (!root && !folder.empty() && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

std::string pathAsTyped(const std::string& prefix, const std::string& name)
{
    const std::string folder = folderAsTyped(prefix);
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\')
        return folder + name;
#if defined(_WIN32)
    const char separator = '\\';
#else
    const char separator = folder.find('\\') != std::string::npos ? '\\' : '/';
#endif
    return folder + separator + name;
}

std::string userPaths(const std::string& message, const std::string& windowsPath)
{
    const std::string host = hostPath(windowsPath);
    if (host == windowsPath)
        return message;
    const std::size_t hostCut = host.find_last_of('/');
    const std::size_t userCut = windowsPath.find_last_of("\\/");
    if (hostCut == std::string::npos)
        return message;
    const std::string hostDir = host.substr(0, hostCut + 1);
    const std::string userDir = userCut == std::string::npos ? std::string()
                                                             : pathAsTyped(windowsPath.substr(0, userCut + 1), "");
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = message.find(hostDir); at != std::string::npos; at = message.find(hostDir, from)) {
        out.append(message, from, at - from);
        out += userDir;
        from = at + hostDir.size();
    }
    out.append(message, from, std::string::npos);
    return out;
}

} // namespace grid

#include "cli/command_line.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#else
#include <unistd.h>
#endif

namespace cli {

#if defined(_WIN32)

namespace {

std::string narrow(const wchar_t* w)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
    s.pop_back(); // the terminating zero
    return s;
}

} // namespace

std::vector<std::string> utf8Arguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    // Both split the same command line by the same rules; should they ever
    // disagree, the CRT's own arguments are the safer answer.
    if (!wide || count != argc) {
        if (wide)
            LocalFree(wide);
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> args;
    args.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        args.push_back(narrow(wide[i]));
    LocalFree(wide);
    return args;
}

bool isConsole(std::FILE* f)
{
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode);
}

Utf8Console::Utf8Console() : m_previous(GetConsoleOutputCP())
{
    if (m_previous != 0)
        SetConsoleOutputCP(CP_UTF8);
    // The C runtime writes to a character device a byte per call, and the
    // null device is one: a dry run's table sent to NUL cost thousands.
    const HANDLE out = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)));
    if (out != INVALID_HANDLE_VALUE && GetFileType(out) == FILE_TYPE_CHAR && !isConsole(stdout))
        std::setvbuf(stdout, nullptr, _IOFBF, 1 << 14);
}

Utf8Console::~Utf8Console()
{
    if (m_previous != 0)
        SetConsoleOutputCP(m_previous);
}

#else

std::vector<std::string> utf8Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

bool isConsole(std::FILE* f)
{
    return isatty(fileno(f)) != 0;
}

Utf8Console::Utf8Console() = default;
Utf8Console::~Utf8Console() = default;

#endif

} // namespace cli

#pragma once

#include "cli/commands.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <process.h>
#define gridshift_getpid _getpid
#else
#include <unistd.h>
#define gridshift_getpid getpid
#endif

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string slurp(std::FILE* f)
{
    std::string s;
    std::rewind(f);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    return s;
}

// A file to stand for a command's output, removed by closeScratch(). Not
// tmpfile(): Windows' C runtime makes those in the drive's root under names
// that two test programs running at once can both pick, and one then fails.
struct ScratchFile {
    std::FILE* file = nullptr;
    std::string path;
};

inline ScratchFile openScratch()
{
    static std::atomic<int> counter{0};
    ScratchFile s;
    s.path = (std::filesystem::temp_directory_path() /
              ("gridshift-out-" + std::to_string(gridshift_getpid()) + "-" + std::to_string(counter++)))
                 .string();
    s.file = std::fopen(s.path.c_str(), "w+b");
    return s;
}

inline void closeScratch(ScratchFile& s)
{
    if (s.file)
        std::fclose(s.file);
    std::remove(s.path.c_str());
}

template <typename Command>
CommandResult runCommand(Command command, const std::vector<std::string>& args)
{
    ScratchFile out = openScratch();
    ScratchFile err = openScratch();
    CommandResult r;
    if (out.file && err.file) {
        r.status = command(args, out.file, err.file);
        std::fflush(out.file);
        std::fflush(err.file);
        r.out = slurp(out.file);
        r.err = slurp(err.file);
    } else {
        r.err = "the test could not make a file for the command's output";
    }
    closeScratch(out);
    closeScratch(err);
    return r;
}

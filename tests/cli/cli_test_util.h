#pragma once

#include "cli/commands.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

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
    static int made = 0;
    const std::string name = "gridshift-out-" + std::to_string(getpid()) + "-" + std::to_string(made++);
    const std::string path = (std::filesystem::temp_directory_path() / name).string();
    return {std::fopen(path.c_str(), "w+b"), path};
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
    ScratchFile out = openScratch(), err = openScratch();
    CommandResult r{-1, {}, "the test could not make a file for the command's output"};
    if (out.file && err.file) {
        r.status = command(args, out.file, err.file);
        std::fflush(out.file);
        std::fflush(err.file);
        r.out = slurp(out.file);
        r.err = slurp(err.file);
    }
    closeScratch(out);
    closeScratch(err);
    return r;
}

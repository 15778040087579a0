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

// A file to stand for a command's output, removed with it. Not tmpfile():
// Windows' C runtime makes those in the drive's root under names that two
// test programs running at once can both pick, and one then fails.
struct ScratchFile {
    inline static int made = 0;
    std::string path = (std::filesystem::temp_directory_path() /
                        ("gridshift-out-" + std::to_string(getpid()) + "-" + std::to_string(made++)))
                           .string();
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    ~ScratchFile()
    {
        if (file)
            std::fclose(file);
        std::remove(path.c_str());
    }
};

template <typename Command>
CommandResult runCommand(Command command, const std::vector<std::string>& args)
{
    ScratchFile out, err;
    if (!out.file || !err.file)
        return {-1, {}, "the test could not make a file for the command's output"};
    const int status = command(args, out.file, err.file);
    return {status, slurp(out.file), slurp(err.file)}; // slurp's rewind writes what is buffered
}

#pragma once

#include "cli/commands.h"

#include <cstdio>
#include <string>
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

template <typename Command>
CommandResult runCommand(Command command, const std::vector<std::string>& args)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    CommandResult r;
    r.status = command(args, out, err);
    std::fflush(out);
    std::fflush(err);
    r.out = slurp(out);
    r.err = slurp(err);
    std::fclose(out);
    std::fclose(err);
    return r;
}

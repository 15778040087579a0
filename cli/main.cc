#include "cli/command_line.h"
#include "cli/commands.h"

#include <cstdio>
#include <cstring>

namespace {

const char* kUsage =
    "usage: gridshift-cli COMMAND ARGS\n"
    "  dump TABLE.db        print a table's fields and records\n"
    "  demo DIR [--unkeyed] [--secondary] [--records N]\n"
    "                       create a demo database in DIR\n"
    "  minutes DIR          list the minutes at which the grid's blocks start\n"
    "  shift DIR --from OLD --to NEW --size MM:SS [--days LIST] [--hours LIST] [--dry-run] [--yes]\n"
    "                       move the blocks of minute OLD to minute NEW\n"
    "  undo DIR [--yes]     put the tables back as they were before the last shift\n"
    "  --help, --version    print this text, or the version\n";

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return cli::kUsageError;
    }
    const cli::Utf8Console console;
    const std::vector<std::string> all = cli::utf8Arguments(argc, argv);
    const std::vector<std::string> args(all.begin() + 2, all.end());
    const char* command = argv[1];
    if (std::strcmp(command, "dump") == 0)
        return cli::dump(args, stdout, stderr);
    if (std::strcmp(command, "demo") == 0)
        return cli::demo(args, stdout, stderr);
    if (std::strcmp(command, "minutes") == 0)
        return cli::minutes(args, stdout, stderr);
    if (std::strcmp(command, "shift") == 0)
        return cli::shift(args, stdout, stderr);
    if (std::strcmp(command, "undo") == 0)
        return cli::undo(args, stdout, stderr);
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        std::fputs(kUsage, stdout);
        return cli::kSuccess;
    }
    if (std::strcmp(command, "--version") == 0) {
        std::fputs("gridshift " GRIDSHIFT_VERSION "\n", stdout);
        return cli::kSuccess;
    }
    std::fprintf(stderr, "gridshift-cli: unknown command '%s'\n%s", command, kUsage);
    return cli::kUsageError;
}

// Writes the journal fuzz target's seeds into the folder given as the only
// argument: real journals of a shift over the target's folder and of its
// undoing, finished and interrupted, in the format written now and in the
// first one, each behind the byte that tells the target how to use it (see
// journal_fuzzer.cc).

#include "journal_folder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace {

std::vector<std::byte> unmarked(std::vector<std::byte> journal)
{
    std::fill(journal.end() - 16, journal.end(), std::byte{0});
    return journal;
}

// The journal as the first format had it: no note.
std::vector<std::byte> firstFormat(const std::vector<std::byte>& journal)
{
    fuzzing::JournalFields f;
    if (!fuzzing::parseJournal(journal, &f))
        return {};
    f.setVersion(1);
    std::vector<std::byte> out = fuzzing::layOutJournal(f);
    fuzzing::sealJournal(out, journal.back() != std::byte{0});
    return out;
}

bool write(const std::string& path, unsigned how, const std::vector<std::byte>& journal)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.put(static_cast<char>(how));
    f.write(reinterpret_cast<const char*>(journal.data()), static_cast<std::streamsize>(journal.size()));
    return static_cast<bool>(f);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string journalPath = std::string(fuzzing::kJournalFolder) + fuzzing::kJournalName;
    testsupport::MemoryFileSystem fs;
    if (!fuzzing::buildJournalFolder(&fs) || !fuzzing::shiftTables(&fs)) {
        std::fprintf(stderr, "could not shift the seed tables\n");
        return 1;
    }
    const std::vector<std::byte> change = fs.files.at(journalPath);
    std::vector<std::string> undone;
    if (!fuzzing::folderJournal(fs).undoLast(&undone).isOk()) {
        std::fprintf(stderr, "could not undo the seed shift\n");
        return 1;
    }
    const std::vector<std::byte> undo = fs.files.at(journalPath);

    const std::string out = argv[1];
    // 1: sealed; 4: AdvSetBlk.lck held; 8: the tables as after the shift.
    const bool ok = write(out + "/change", 0, change) && write(out + "/change-after", 8, change) &&
                    write(out + "/change-hot", 1, unmarked(change)) &&
                    write(out + "/change-hot-after", 9, unmarked(change)) &&
                    write(out + "/change-hot-locked", 13, unmarked(change)) && write(out + "/undo", 0, undo) &&
                    write(out + "/undo-hot", 1, unmarked(undo)) &&
                    write(out + "/first-format-hot-after", 9, firstFormat(unmarked(change))) &&
                    write(out + "/first-format-undo", 0, firstFormat(undo));
    if (!ok) {
        std::fprintf(stderr, "cannot write the seeds into %s\n", out.c_str());
        return 1;
    }
    return 0;
}

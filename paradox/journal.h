#pragma once

// A rollback journal for changes to files that other programs own.
//
// Before the first byte of a change reaches its files, the journal records,
// in the files' folder, what every byte the change will write holds now and
// will hold after. So whoever opens the folder next, on any machine, can put
// back a change that stopped half-way; and the last finished change can be
// undone on request while its files still hold what it wrote.
//
// The order of writes, each flushed to stable storage before the next step:
//   1. the journal, written whole under a temporary name, then renamed into
//      place and its folder flushed: from here the journal is "hot";
//   2. the files themselves;
//   3. the journal's commit mark. A journal without it is rolled back.
// A journal whose header or contents fail their checksums was never
// complete, so its files were never touched: it is simply removed.

#include "paradox/file.h"
#include "paradox/file_writes.h"
#include "paradox/status.h"

#include <cstdint>
#include <string>
#include <vector>

namespace paradox {

enum class JournalKind : std::uint32_t {
    Change = 1,  // a change of the files' contents
    Undo = 2,    // the undoing of the change recorded before it
};

// What opening a folder found of an earlier change.
struct Recovery {
    enum class Outcome {
        Nothing,      // no journal, or a finished change
        RolledBack,   // a change stopped half-way and its files were put back
        RemovedTorn,  // an incomplete journal, whose files were never touched, was removed
    };
    Outcome outcome = Outcome::Nothing;
    std::vector<std::string> files;  // the files put back, by name
};

// `folder` is a folder path with its trailing separator, or empty for the
// current folder; `journalName` the journal's file name in it.
class Journal {
public:
    Journal(FileSystem& fs, std::string folder, std::string journalName);

    // Writes every piece into its file, all of them or none. Each file must be
    // open for writing, locked, and lie in the folder. When the change fails
    // after the journal was written, the files are put back at once; should
    // even that fail, the hot journal stays for recover(). The journal stays
    // after success, as the record undoLast() reads, until the next commit.
    Status commit(JournalKind kind, std::vector<FileWrites>& writes) const;

    // Rolls back a change that stopped half-way, under the files' locks, or
    // removes an incomplete journal. Fails, changing nothing, when a file is
    // in use by another program or no longer the size the journal recorded.
    Status recover(Recovery* out) const;

    // Puts the files of the last finished change back as they were before it,
    // when every byte it wrote is still what it wrote; the undoing is itself
    // a journaled change. `files` gets the names of the files put back.
    Status undoLast(std::vector<std::string>* files) const;

    std::string path() const { return m_folder + m_name; }

private:
    FileSystem& m_fs;
    std::string m_folder;
    std::string m_name;
};

// A fast 64-bit checksum, enough to tell a torn or damaged journal.
std::uint64_t journalChecksum(const std::byte* data, std::size_t size, std::uint64_t seed = 0);

} // namespace paradox

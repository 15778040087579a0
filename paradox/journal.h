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
//
// The folder is shared, so a journal found there is input from outside: it
// may name only the files of the tables its owner gives, it is judged only
// under those tables' locks, and it is rolled back only where every byte it
// recorded still holds what the change wrote or what was there before. A
// journal under its own name was written whole, so one that does not add up
// is never simply removed: it is set aside beside the tables, and the folder
// is not written again until someone removes it. docs/journal.md has the
// format.

#include "paradox/file.h"
#include "paradox/file_writes.h"
#include "paradox/status.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace paradox {

enum class JournalKind : std::uint32_t {
    Change = 1, // a change of the files' contents
    Undo = 2,   // the undoing of the change recorded before it
};

// Why a journal stands in the way of a change to its folder, or what
// recover() did with one, in terms a caller can put into words.
struct JournalProblem {
    enum class Kind {
        None,
        NotAFile,        // the journal's path is a folder, a pipe, a link or a device
        NewerFormat,     // written by a newer program, in format `version`; left in place
        SetAsideWaiting, // a journal set aside earlier (`setAside`) is still in the folder
        Damaged,         // the journal does not add up; set aside as `setAside`
        NotOurs,         // it names `name`, no file of the tables; set aside as `setAside`
        InUse,           // `name` is held by another program
        Missing,         // `name`, which the journal changes, is not in the folder
        Changed,         // `name` holds bytes that are neither before nor after the change, or another size
        Interrupted,     // a change stopped half-way: recover() first
        NothingToUndo,   // no finished change is recorded
        AlreadyUndone,   // the last change was undone already
        Failed,          // the system refused a read or a write; the status says which
    };
    // What the pieces of a damaged journal that could still be read show.
    enum class Tables { Unknown, AsBefore, AsAfter, Mixed };

    Kind kind = Kind::None;
    std::string name;     // a file name in the folder, or as the journal spells it
    std::string setAside; // the file name the journal now has
    std::uint32_t version = 0;
    Tables tables = Tables::Unknown;
};

// What opening a folder found of an earlier change.
struct Recovery {
    enum class Outcome {
        Nothing,    // no journal, or a finished change
        RolledBack, // a change stopped half-way and its files were put back
        SetAside,   // the journal was damaged or not ours: see `problem`
        Blocked,    // a journal set aside, of a newer program, or not a file is in the way: see `problem`
    };
    Outcome outcome = Outcome::Nothing;
    std::vector<std::string> files; // the files put back, by name
    // Why the folder must not be written now (SetAside, Blocked), or why
    // recover() failed.
    JournalProblem problem;
};

// `folder` is a folder path with its trailing separator, or empty for the
// current folder; `journalName` the journal's file name in it; `tables` the
// file names of the tables whose files a journal there may change, in the
// order their writers lock them.
class Journal {
public:
    Journal(FileSystem& fs, std::string folder, std::string journalName, std::vector<std::string> tables = {});

    // Writes every piece into its file, all of them or none. Each file must be
    // open for writing, locked, and lie in the folder. `note` is kept with the
    // record, bound by its checksums, for whoever reads it later. When the
    // change fails after the journal was written, the files are put back at
    // once; should even that fail, the hot journal stays for recover(). The
    // journal stays after success, as the record undoLast() reads, until the
    // next commit. Refuses while the folder holds a journal that is not a
    // finished change's, or one set aside.
    Status commit(JournalKind kind, std::vector<FileWrites>& writes, std::string_view note = {}) const;

    // Rolls back a change that stopped half-way, under the tables' locks, or
    // sets aside a journal that does not add up. Fails, changing nothing and
    // saying why in `out->problem`, when a file is in use by another program,
    // missing, or holds what neither side of the change wrote.
    Status recover(Recovery* out) const;

    // Whether undoLast() would put the last finished change back now, writing
    // nothing: a finished change, not undone, whose files are free and still
    // hold every byte it wrote. `note` gets the change's note.
    Status undoable(std::string* note, JournalProblem* why = nullptr) const;

    // Puts the files of the last finished change back as they were before it,
    // when undoable() says so; the undoing is itself a journaled change.
    // `files` gets the names of the files put back.
    Status undoLast(std::vector<std::string>* files, JournalProblem* why = nullptr) const;

    std::string path() const { return m_folder + m_name; }

private:
    class Judge;
    Status undo(std::vector<std::string>* files, std::string* note, JournalProblem* why, bool write) const;

    FileSystem& m_fs;
    std::string m_folder;
    std::string m_name;
    std::vector<std::string> m_tables;
};

// A fast 64-bit checksum, enough to tell a torn or damaged journal.
std::uint64_t journalChecksum(const std::byte* data, std::size_t size, std::uint64_t seed = 0);

} // namespace paradox

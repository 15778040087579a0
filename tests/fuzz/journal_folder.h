#pragma once

// The folder the journal fuzz target recovers over, built the same way, byte
// for byte, by the target and by its seed generator, so that the seed
// journals name files of the sizes they find.
//
// db/ holds the grid AdvSetBlk.db (keyed, with maintained secondary indexes)
// and its filling AdvBlock.db (unkeyed, with one), and beside them files no
// journal may write: the engine's lock file AdvSetBlk.lck, notes.txt, and
// Prices.db, a copy of AdvBlock.db under another name. Copies of the tables
// also lie outside the folder: AdvBlock.db at the top and outside/AdvSetBlk.db.
//
// Both also take journals apart into their fields and lay them out again
// (docs/journal.md has the format).

#include "memory_file_system.h"

#include "paradox/journal.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace fuzzing {

inline constexpr const char* kJournalFolder = "db/";
inline constexpr const char* kJournalName = "gridshift.jnl";

// False when the library refused to build the tables.
bool buildJournalFolder(testsupport::MemoryFileSystem* fs);

// The folder's journal as gridshift opens it: over the grid, then the filling.
paradox::Journal folderJournal(paradox::FileSystem& fs);

// Whether `path` names a file of the two tables in db/.
bool isTableFile(const std::string& path);

// Moves every block at a quarter past to ten to in both tables, through the
// journal, with a note as a shift keeps; leaves it committed in db/. False on
// failure.
bool shiftTables(paradox::FileSystem* fs);

// A journal's fields: the note (format 2 on), per file a name and a size,
// per piece its file, offset and both images.
struct JournalFields {
    struct FileEntry {
        std::string name;
        std::uint64_t size = 0;
    };
    struct Piece {
        std::uint32_t file = 0;
        std::uint64_t offset = 0;
        std::vector<std::byte> images; // before, then after
    };
    std::vector<std::byte> header; // 64 bytes
    std::string note;
    std::vector<FileEntry> files;
    std::vector<Piece> pieces;

    std::uint32_t version() const;
    void setVersion(std::uint32_t version);
};

// False when the counts and lengths in the header do not fit the body.
bool parseJournal(std::span<const std::byte> journal, JournalFields* out);

// The fields laid out with the counts and the note's length they have, the
// commit mark clear; the body length and checksums are left as they were.
std::vector<std::byte> layOutJournal(const JournalFields& fields);

// Whether the header's checksum and the commit mark say the change finished.
bool journalFinished(std::span<const std::byte> journal);

// Sets the body length and the checksums as a writer would, and with `mark`
// a commit mark that belongs to them.
void sealJournal(std::vector<std::byte>& journal, bool mark);

} // namespace fuzzing

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

#include "memory_file_system.h"

#include <string>

namespace fuzzing {

inline constexpr const char* kJournalFolder = "db/";
inline constexpr const char* kJournalName = "gridshift.jnl";

// False when the library refused to build the tables.
bool buildJournalFolder(testsupport::MemoryFileSystem* fs);

// Whether `path` names a file of the two tables in db/.
bool isTableFile(const std::string& path);

// Moves every block at a quarter past to ten to in both tables, through the
// journal; leaves it committed in db/. False on failure.
bool shiftTables(paradox::FileSystem* fs);

} // namespace fuzzing

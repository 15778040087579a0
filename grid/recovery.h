#pragma once

#include "grid/load.h"

#include <string>

namespace grid {

// Looks for a shift of the folder (a prefix as SlashedPath makes it) that
// stopped half-way, and puts its tables back as they were before it; or
// removes the record of one that never began to write. Says which in one line
// through `view`. Raises grid::Error, reading nothing, when the tables cannot
// be put back (another program holds them, say).
void recoverFolder(const std::string& prefix, LoadView& view);

// Puts the folder's tables back as they were before its last shift, when
// neither changed since. Returns what was done, in one line; raises
// grid::Error, changing nothing, when it cannot.
std::string undoLastShift(const std::string& prefix);

} // namespace grid

#pragma once

// What a table's companion files (.Xnn/.XGn secondary indexes, .VAL validity
// checks) say about the fields an in-place writer changes.

#include "paradox/table_impl.h"

namespace paradox {

// Fills in whether the index is maintained and which table fields it holds.
// An index whose header cannot be read counts as maintained and holding every
// field, so that nothing it might cover is written.
void describeSecondaryIndex(FileSystem* fs, const format::Header& table,
                            const std::vector<std::string>& foldedFieldNames, SecondaryIndex* index);

// Reads the field checks and referential-integrity marker of a .VAL file. A
// file that cannot be read whole, or that belongs to an older structure of the
// table, counts as checking every field.
void readValidityRules(FileSystem* fs, const std::string& path, const format::Header& table, ValidityRules* rules);

} // namespace paradox

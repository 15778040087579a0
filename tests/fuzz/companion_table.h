#pragma once

// The keyed table whose companion files (.PX, .Xnn/.Ynn, .XGn/.YGn, .VAL) the
// fuzz target replaces with its input. Built the same way, byte for byte, by the fuzz
// target and by the seed generator, so that the generated .PX seed matches
// the table it is fuzzed against.

#include "paradox/file.h"

#include <string>

namespace fuzzing {

// FDate (Date), FTime (Time) and FCode (Alpha 60, ascii order) form the key;
// FId (Long) and FSize (Time) follow. Two records per 1 KiB block and 1 KiB
// index blocks of 13 entries give a primary index of two levels; the second
// record of each block can change without the index noticing. Its maintained
// secondary indexes are T.x05 (FSize) with T.y05, and T.xg0 (FId, FTime,
// descending) with T.yg0.
inline constexpr int kCompanionRecords = 30;
inline constexpr int kDateField = 0;
inline constexpr int kTimeField = 1;
inline constexpr int kSizeField = 4;

// Writes `path` (a .db name) and its .px through `fs`; false on failure.
bool buildCompanionTable(paradox::FileSystem* fs, const std::string& path);

} // namespace fuzzing

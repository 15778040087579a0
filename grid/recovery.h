#pragma once

#include "grid/load.h"

#include <string>

namespace grid {

// What opening the folder is for: a load only reads the tables, a shift or
// an undo writes them.
enum class Access { Read, Write };

// Looks at the record the folder's last shift left (a prefix as SlashedPath
// makes it): puts the tables back as they were before a shift that stopped
// half-way, and sets aside a record that does not add up. Says what it did in
// one line through `view`. A record set aside, or one the program cannot
// read, is said through `view` when reading and raised as grid::Error when
// writing: the tables are not written again until the user has looked at
// them. Raises grid::Error, changing nothing, when the tables cannot be put
// back (another program holds them, say).
void recoverFolder(const std::string& prefix, LoadView& view, Access access = Access::Read);

// What the journal keeps of a shift, for the question before undoing it.
struct ShiftRecord {
    int oldMinute = 0, newMinute = 0;
    int gridChanged = 0, fillingChanged = 0;                // records
    int year = 0, month = 0, day = 0, hour = 0, minute = 0; // local time the shift was made

    bool operator==(const ShiftRecord&) const = default;
};

// The record of a shift made now, as kept in the journal. The environment
// variable GRIDSHIFT_FIXED_CLOCK ("2026-12-09 03:14") fixes the time, so that
// tests on two systems write the same journal.
std::string shiftNote(int oldMinute, int newMinute, int gridChanged, int fillingChanged);

// Whether the folder's last shift can be undone now, and which shift it was;
// writes nothing.
struct UndoCheck {
    bool possible = false;
    bool described = false; // `shift` was recorded (release 0.1 kept no record)
    ShiftRecord shift;
    std::string whyNot; // one line, when not possible
};
UndoCheck checkUndo(const std::string& prefix);

// "Вернуть блоки, перенесённые с 15-ой минуты на 16-ю (126 в сетке, 6552 в
// наполнении, 09.12.2026 03:14)?"
std::string undoQuestion(const ShiftRecord& shift);
// The question before undoing the folder's last shift: the one above when the
// journal describes the shift, a general one when it does not (release 0.1
// kept no record).
std::string undoQuestion(const UndoCheck& check, const std::string& prefix);

// Puts the folder's tables back as they were before its last shift, the one
// `asked` (checkUndo's answer when the user was asked) names, when neither
// table changed since. Returns what was done, in one line; raises
// grid::Error, changing nothing, when it cannot or when the folder's last
// shift is another one by now.
std::string undoLastShift(const std::string& prefix, const UndoCheck& asked);

} // namespace grid

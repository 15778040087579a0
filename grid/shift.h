#pragma once

#include "grid/data_set.h"
#include "grid/engine.h"
#include "grid/filters.h"
#include "grid/load.h"
#include "grid/progress_sink.h"

#include <array>
#include <functional>
#include <string>

namespace grid {

// What shifting a minute needs of the window besides a load's needs.
class ShiftView : public LoadView {
public:
    // A confirmation box (question icon, "Confirm", "&Yes" and "&No"); true on Yes.
    virtual bool confirm(const std::string& text) = 0;
};

// What the user chose. The functions are asked once, before the question.
struct ShiftInputs {
    // The new-minute editor's value; its whole part is the new minute.
    double newMinute = 0;
    // The block-size editor's value, the length every moved grid block gets.
    std::function<paradox::DateTime()> blockSize;
    // The folder field's text, from which the minute list is loaded again at the end.
    std::function<std::string()> folderText;
    // Work out and count the changes, with every refusal, but write nothing
    // and reload nothing.
    bool dryRun = false;
};

using DayHourCounts = std::array<std::array<int, 24>, 7>;

struct ShiftResult {
    bool ran = false;              // false: another operation was running, or the user said No
    int gridChanged = 0;           // records changed in AdvSetBlk.db
    int fillingChanged = 0;        // records changed in AdvBlock.db
    DayHourCounts gridByDayHour{}; // the same by day index and hour
    DayHourCounts fillingByDayHour{};
};

// The confirmation text for moving `oldMinute` to `newMinute` (the same
// minute only sets block lengths). Lines are split by a carriage return.
std::string shiftQuestion(std::uint16_t oldMinute, std::uint16_t newMinute);

// Moves every block that starts at minute OldMinute of a ticked hour on a
// ticked day to the new minute, in the grid and in its filling, and sets the
// grid's block length; then loads the minute list again.
//
// The inputs, OldMinute and the ticks are taken once, before the question,
// and the walk uses only those: what the user does while a progress report
// handles the window's messages changes nothing of the run.
//
// Both tables change together or not at all. After the confirmation a shift
// of the folder that was interrupted is undone (see recoverFolder); then both
// tables are opened and locked, walked, and every change and key violation is
// worked out before the first byte is written through the folder's journal
// (see paradox::Transaction).
//
// Raises grid::RangeError for a new minute outside 0..65535 before anything
// else, grid::Error for a block size of a day or more before the question,
// and grid::Error for failures of the tables: those leave both tables as they
// were, closed and unlocked, the progress window closed and the list as it
// was. An exception that a progress report raises to stop the shift leaves the
// same way; once the commit has begun, the tables are written in full and
// only the reload can be stopped. Does nothing while another load or shift
// is running.
ShiftResult shiftMinute(Engine& engine, const ShiftInputs& inputs, const DayHourFilter& filter, TableDataSet& table,
                        QueryDataSet& query, ProgressSink& progress, ShiftView& view);

} // namespace grid

#pragma once

#include "grid/data_set.h"
#include "grid/engine.h"
#include "grid/progress_sink.h"

#include <string>

namespace grid {

// What loading the minute list needs of the window.
class LoadView {
public:
    virtual ~LoadView() = default;
    // An error message box (stop icon, "Error", one "OK" button).
    virtual void showError(const std::string& message) = 0;
    // A message that asks nothing of the user, such as what opening the
    // folder found of an interrupted shift.
    virtual void showNotice(const std::string& message) = 0;
    virtual void clearMinuteList() = 0;
    virtual void addMinute(const std::string& text) = 0;
    // The list holds items now: select the first and handle it as a click on it.
    virtual void selectFirstMinute() = 0;
};

// Finds the minutes at which the grid's blocks start and lists them, smallest
// first, as two-digit texts. The folder text becomes BaseFolder before the
// tables are looked for; a missing table is reported through the view and
// leaves Minutes and the list as they were. A shift of the folder that was
// interrupted is undone first (see recoverFolder). Errors of the tables raise
// grid::Error with `query` closed and the progress window gone, leaving
// Minutes with what was found so far.
//
// Returns false, doing nothing, while another load or a shift is running
// (one started from the window while a report handles its messages).
bool loadMinutes(Engine& engine, const std::string& folderText, QueryDataSet& query, ProgressSink& progress,
                 LoadView& view);

namespace detail {
// The load itself, for the reloads that run inside a shift or an undo.
void runLoad(Engine& engine, const std::string& folderText, QueryDataSet& query, ProgressSink& progress,
             LoadView& view);

// Marks the engine busy for the lifetime of the object.
class BusyGuard {
public:
    explicit BusyGuard(Engine& engine) : m_engine(engine) { m_engine.busy = true; }
    ~BusyGuard() { m_engine.busy = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    Engine& m_engine;
};
} // namespace detail

} // namespace grid

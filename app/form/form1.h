#pragma once

// What the main window decides, apart from any window system: its start-up
// values, what each handler does and in which order, and the enablement of
// the controls that change. Each front end builds the controls, implements
// Form1View over them and calls the handlers from its events.

#include "grid/data_set.h"
#include "grid/engine.h"
#include "grid/filters.h"
#include "grid/progress_sink.h"
#include "grid/recovery.h"
#include "grid/shift.h"
#include "spinedit/spin_value.h"

#include <string>

namespace app {

// A check list (CBDays, CBHour) as the window's logic fills and reads it.
class CheckListView : public grid::TickList {
public:
    virtual void clear() = 0;
    virtual void addItem(const std::string& text) = 0;
    virtual void setTicked(int index, bool ticked) = 0;
};

// The controls of the main window, as its logic sees them. Texts are UTF-8.
class Form1View {
public:
    virtual ~Form1View() = default;

    // DEBase.
    virtual std::string folderText() const = 0;
    // LbTimes. None of these runs LbTimesClick.
    virtual void clearMinuteList() = 0;
    virtual void addMinute(const std::string& text) = 0;
    virtual void selectMinute(int row) = 0;
    // -1 when no row is selected.
    virtual int selectedMinute() const = 0;
    // EOldTime.
    virtual void setOldTimeText(const std::string& text) = 0;
    // The values of RxNew and RXNewSize; a change of RxNew's text is to run
    // RxNewChange, also when the logic writes it.
    virtual spinedit::SpinValue& newMinute() = 0;
    virtual spinedit::SpinValue& newSize() = 0;
    virtual void setNewMinuteEnabled(bool enabled) = 0;
    virtual void setNewSizeEnabled(bool enabled) = 0;
    // BtnMove.
    virtual void setMoveEnabled(bool enabled) = 0;
    // The item "Отменить последний перенос…" (and its Ctrl+Z): greyed while
    // there is no shift to undo.
    virtual void setUndoEnabled(bool enabled) = 0;
    virtual CheckListView& days() = 0;
    virtual CheckListView& hours() = 0;

    // The error box, a box that asks nothing, and the confirmation (true on Yes).
    virtual void showError(const std::string& message) = 0;
    virtual void showNotice(const std::string& message) = 0;
    virtual bool confirm(const std::string& text) = 0;
    // Where the load and the shift report how far they have got.
    virtual grid::ProgressSink& progress() = 0;
};

// The main window's handlers and the state they share. Errors of the tables
// and of the values leave a handler as grid::Error at once, for the front
// end's one place that shows uncaught errors.
//
// While a load or a shift runs (running()), the front end keeps the window
// painted and movable but lets none of the user's input reach its controls,
// as under a modal window: the progress reports handle the window's messages,
// and a click then must change neither the run nor what the window shows
// after it.
class Form1 : private grid::ShiftView, private grid::ProgressSink {
public:
    // `view` must outlive the logic. Nothing of it is used before the first
    // handler runs, so a window may make its logic before its controls.
    explicit Form1(Form1View& view) : m_view(view) {}

    // The folder prefix, the minutes and the selected minute.
    grid::Engine& engine() { return m_engine; }
    const grid::Engine& engine() const { return m_engine; }

    grid::TableDataSet Table1{"Table1"};
    grid::QueryDataSet Query1{"Query1"};

    // Once, after the controls exist and before the window is first shown:
    // the block size becomes 03:00, every day and hour is ticked.
    void FormCreate();
    // Loads the minutes of the folder field's folder and selects the first.
    void BtnLoadClick();
    // Takes the selected minute into OldMinute, EOldTime and RxNew; the
    // editors are enabled while a minute is selected.
    void LbTimesClick();
    // BtnMove is enabled while RxNew's text is not empty.
    void RxNewChange();
    // Asks, shifts the selected minute to RxNew's, and loads again.
    void BtnMoveClick();
    // The undo item, from its menu or Ctrl+Z; nothing while it is greyed.
    // Asks, naming the shift, then puts the tables of the last load's folder
    // back as they were before its last shift, loads them again and selects
    // the minute that came back. A refusal (the tables changed since, in use,
    // already undone, a damaged journal) is an error box that changes nothing.
    // The item is offered after each load, shift or undo that finds a shift
    // it could undo.
    void UndoClick();
    // The user closes the window. A load or a shift that walks the tables
    // stops at its next progress report, having written nothing (a shift
    // or an undo that has begun to write finishes first), and the progress
    // window closes now rather than after it.
    void FormClose();

    // A load, a shift or an undo is running; the window takes no input.
    bool running() const { return m_engine.busy; }
    // Whether the undo item is offered now.
    bool undoOffered() const { return m_undoOffered; }

    // The day and hour tests, on the lists' ticks at the moment they are asked.
    bool CheckDayOfWeek(int index) const { return filter().CheckDayOfWeek(index); }
    bool CheckTime(int index) const { return filter().CheckTime(index); }
    int GetDOW(paradox::DateTime date) const { return grid::GetDOW(date); }

private:
    void showError(const std::string& message) override;
    void showNotice(const std::string& message) override;
    bool confirm(const std::string& text) override;
    void clearMinuteList() override;
    void addMinute(const std::string& text) override;
    void selectFirstMinute() override;
    // The view's progress, stopping the operation once the window is closing.
    void report(const std::string& text, double percent) override;

    // Runs a load, a shift or an undo, which a close of the window may stop;
    // then offers the undo when there is a shift to undo.
    template <class Operation>
    void stoppable(Operation operation);
    void offerUndo(bool offered);
    // After an undo's reload: the minute whose blocks the undone shift moved.
    void selectReturnedMinute(const grid::UndoCheck& check);

    grid::DayHourFilter filter() const { return {m_view.days(), m_view.hours()}; }

    Form1View& m_view;
    grid::Engine m_engine;
    bool m_closing = false;
    // A load has named a folder (or a shift has written to one).
    bool m_haveFolder = false;
    bool m_undoOffered = false;
};

} // namespace app

#include "app/form/form1.h"

#include "grid/errors.h"
#include "grid/load.h"
#include "grid/recovery.h"

#include <cstdio>

namespace app {

namespace {
// Raised by a report once the window is closing; caught where the handler began.
struct Closing {};

const char* const kUndoHeading = "Отмена последнего переноса";
} // namespace

void Form1::FormCreate()
{
    m_view.newSize().setValue(3.0 / 1440);
    CheckListView& hours = m_view.hours();
    CheckListView& days = m_view.days();
    hours.clear();
    for (int i = 0; i < days.count(); ++i)
        days.setTicked(i, true);
    for (int i = 0; i < 24; ++i) {
        hours.addItem(grid::hourItemText(i));
        hours.setTicked(i, true);
    }
    offerUndo(false);
}

template <class Operation>
void Form1::stoppable(Operation operation)
{
    struct Done {
        bool& closing;
        ~Done() { closing = false; }
    } done{m_closing};
    const auto checkUndo = [this] { offerUndo(m_haveFolder && grid::checkUndo(m_engine.BaseFolder).possible); };
    try {
        operation();
    } catch (const Closing&) {
        return;
    } catch (...) {
        checkUndo();
        throw;
    }
    checkUndo();
}

void Form1::offerUndo(bool offered)
{
    m_undoOffered = offered;
    m_view.setUndoEnabled(offered);
}

void Form1::BtnLoadClick()
{
    if (running())
        return;
    stoppable([this] {
        m_haveFolder = true;
        grid::loadMinutes(m_engine, m_view.folderText(), Query1, *this, *this);
    });
}

void Form1::LbTimesClick()
{
    bool selected = false;
    const int row = m_view.selectedMinute();
    if (row >= 0 && static_cast<std::size_t>(row) < m_engine.Minutes.size()) {
        selected = true;
        m_engine.OldMinute = m_engine.Minutes[static_cast<std::size_t>(row)];
        char text[16];
        std::snprintf(text, sizeof text, "%2.2d", m_engine.OldMinute);
        m_view.setOldTimeText(text);
        m_view.newMinute().setValue(m_engine.OldMinute);
    }
    m_view.setNewMinuteEnabled(selected);
    m_view.setNewSizeEnabled(selected);
}

void Form1::RxNewChange()
{
    m_view.setMoveEnabled(!m_view.newMinute().text().empty());
}

void Form1::BtnMoveClick()
{
    if (running())
        return;
    // The editors' values as they stand at the question, not as they may
    // stand later.
    const paradox::DateTime size = m_view.newSize().Value();
    const std::string folder = m_view.folderText();
    grid::ShiftInputs inputs;
    inputs.newMinute = m_view.newMinute().Value();
    inputs.blockSize = [size] { return size; };
    inputs.folderText = [folder] { return folder; };
    stoppable([&] {
        if (grid::shiftMinute(m_engine, inputs, filter(), Table1, Query1, *this, *this).ran)
            m_haveFolder = true;
    });
}

void Form1::UndoClick()
{
    if (running() || !m_undoOffered)
        return;
    // The folder as the last load left it, whatever the folder field says now.
    const std::string prefix = m_engine.BaseFolder;
    const grid::UndoCheck check = grid::checkUndo(prefix);
    if (!check.possible) {
        offerUndo(false);
        m_view.showError(check.whyNot);
        return;
    }
    if (!m_view.confirm(grid::undoQuestion(check, prefix)))
        return;
    std::string refusal;
    stoppable([&] {
        {
            grid::detail::BusyGuard busy(m_engine);
            // A close while this shows stops the undo before it writes; once it
            // writes, it is one commit, and only the reload can be stopped.
            report(kUndoHeading, 0);
            try {
                grid::undoLastShift(prefix, check);
            } catch (const grid::Error& e) {
                refusal = e.what();
            } catch (...) {
                report("", -1);
                throw;
            }
            report("", -1);
            if (refusal.empty()) {
                grid::detail::runLoad(m_engine, prefix, Query1, *this, *this);
                selectReturnedMinute(check);
            }
        }
        // Shown once the window takes input again.
        if (!refusal.empty())
            m_view.showError(refusal);
    });
}

void Form1::selectReturnedMinute(const grid::UndoCheck& check)
{
    if (!check.described)
        return;
    for (std::size_t row = 0; row < m_engine.Minutes.size(); ++row)
        if (m_engine.Minutes[row] == check.shift.oldMinute) {
            m_view.selectMinute(static_cast<int>(row));
            LbTimesClick();
            return;
        }
}

void Form1::FormClose()
{
    if (!running())
        return;
    m_closing = true;
    m_view.progress().report("", -1);
}

void Form1::report(const std::string& text, double percent)
{
    // Once closing, a report that would show the window again stops the
    // operation instead; the one that ends the reporting goes through.
    const bool showing = !text.empty() || percent >= 0;
    if (m_closing && showing)
        throw Closing{};
    m_view.progress().report(text, percent);
    if (m_closing && showing)
        throw Closing{};
}

void Form1::showError(const std::string& message)
{
    m_view.showError(message);
}

void Form1::showNotice(const std::string& message)
{
    m_view.showNotice(message);
}

bool Form1::confirm(const std::string& text)
{
    return m_view.confirm(text);
}

void Form1::clearMinuteList()
{
    m_view.clearMinuteList();
}

void Form1::addMinute(const std::string& text)
{
    m_view.addMinute(text);
}

void Form1::selectFirstMinute()
{
    m_view.selectMinute(0);
    LbTimesClick();
}

} // namespace app

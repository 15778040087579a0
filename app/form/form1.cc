#include "app/form/form1.h"

#include "grid/load.h"

#include <cstdio>

namespace app {

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
}

void Form1::BtnLoadClick()
{
    if (running())
        return;
    grid::loadMinutes(m_engine, m_view.folderText(), Query1, m_view.progress(), *this);
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
    grid::shiftMinute(m_engine, inputs, filter(), Table1, Query1, m_view.progress(), *this);
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

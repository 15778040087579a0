#pragma once

// The main window's controls as plain values, for running its logic
// (app::Form1) with no window: as the layout makes them at first, the day
// list filled, both editors disabled, BtnMove enabled.

#include "app/form/form1.h"
#include "app/form/layout.h"
#include "spinedit/program_editors.h"

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct PlainList : app::CheckListView {
    std::vector<std::pair<std::string, bool>> items; // text, tick
    int count() const override { return static_cast<int>(items.size()); }
    bool ticked(int index) const override { return index >= 0 && index < count() && items[index].second; }
    void clear() override { items.clear(); }
    void addItem(const std::string& text) override { items.emplace_back(text, false); }
    void setTicked(int index, bool ticked) override { items.at(static_cast<std::size_t>(index)).second = ticked; }
};

struct PlainFormView : app::Form1View, grid::ProgressSink {
    PlainFormView()
    {
        for (const char* day : grid::kDayNames)
            dayList.addItem(day);
    }

    std::string folderText() const override { return folder; }
    void clearMinuteList() override
    {
        minutes.clear();
        selected = -1;
    }
    void addMinute(const std::string& text) override { minutes.push_back(text); }
    void selectMinute(int row) override { selected = row; }
    int selectedMinute() const override { return selected; }
    void setOldTimeText(const std::string& text) override { oldTime = text; }
    spinedit::SpinValue& newMinute() override { return rxNew; }
    spinedit::SpinValue& newSize() override { return rxNewSize; }
    void setNewMinuteEnabled(bool enabled) override { rxNewEnabled = enabled; }
    void setNewSizeEnabled(bool enabled) override { rxNewSizeEnabled = enabled; }
    void setMoveEnabled(bool enabled) override { moveEnabled = enabled; }
    void setUndoEnabled(bool enabled) override { undoEnabled = enabled; }
    app::CheckListView& days() override { return dayList; }
    app::CheckListView& hours() override { return hourList; }
    void showError(const std::string& message) override { errors.push_back(message); }
    void showNotice(const std::string& message) override { notices.push_back(message); }
    // Answers from the queue, No once it runs dry.
    bool confirm(const std::string& text) override
    {
        questions.push_back(text);
        const bool yes = !answers.empty() && answers.front();
        if (!answers.empty())
            answers.pop_front();
        return yes;
    }
    grid::ProgressSink& progress() override { return *this; }
    void report(const std::string& text, double percent) override
    {
        reports.emplace_back(text, percent);
        if (onReport)
            onReport(text, percent);
    }

    std::string folder = app::layout::kDefaultFolder;
    std::vector<std::string> minutes;
    int selected = -1;
    std::string oldTime;
    spinedit::SpinValue rxNew = spinedit::makeRxNew();
    spinedit::SpinValue rxNewSize = spinedit::makeRXNewSize();
    bool rxNewEnabled = false, rxNewSizeEnabled = false, moveEnabled = true, undoEnabled = false;
    PlainList dayList, hourList;
    std::vector<std::string> errors, notices, questions;
    std::deque<bool> answers;
    std::vector<std::pair<std::string, double>> reports;
    // Runs at each report, as the window's messages would.
    std::function<void(const std::string&, double)> onReport;
};

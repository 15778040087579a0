#pragma once

#include "grid/shift.h"
#include "paradox/file.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

// Records what an operation reports, in order.
struct RecordingProgress : grid::ProgressSink {
    std::vector<std::pair<std::string, double>> reports;
    void report(const std::string& text, double percent) override { reports.emplace_back(text, percent); }
};

// The window's side of a load or a shift: the message boxes shown, the
// answer given, and the minute list.
struct RecordingView : grid::ShiftView {
    std::vector<std::string> errors;
    std::vector<std::string> notices;
    std::vector<std::string> list;
    std::vector<std::string> questions;
    bool answer = true;
    int selections = 0;
    bool confirm(const std::string& text) override
    {
        questions.push_back(text);
        return answer;
    }
    void showError(const std::string& message) override { errors.push_back(message); }
    void showNotice(const std::string& message) override { notices.push_back(message); }
    void clearMinuteList() override { list.clear(); }
    void addMinute(const std::string& text) override { list.push_back(text); }
    void selectFirstMinute() override { ++selections; }
};

// `n` days or hours, every one ticked until a test changes `v`.
struct Ticks : grid::TickList {
    std::vector<bool> v;
    explicit Ticks(int n) : v(static_cast<std::size_t>(n), true) {}
    int count() const override { return static_cast<int>(v.size()); }
    bool ticked(int i) const override { return v[static_cast<std::size_t>(i)]; }
};

// Shifts every block at `oldMinute` of every day and hour in `folder` to
// `newMinute`, `seconds` long, through `fs`; the error, or "" when it went through.
std::string shiftEverywhere(const std::string& folder, paradox::FileSystem& fs, int oldMinute, int newMinute,
                            double seconds);

// Runs with the process in another folder, going back at the end.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& folder);
    ~CurrentFolder();

private:
    std::string m_previous;
};

// What f raises as grid::Error, or "(no error)".
inline std::string messageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const grid::Error& e) {
        return e.what();
    }
    return "(no error)";
}

#pragma once

// The rules of the progress window, apart from any window system: when a
// report creates the window, what it does to the heading and the bar, and
// when it closes it. Each front end gives ReportProgress its windows through
// ProgressWindows; the rules live here once.

#include <string>

namespace progress {

inline constexpr const char* kCaption = "Ход процесса";
// A caption the layout gives a label that nothing ever shows.
inline constexpr const char* kLabel2Caption = "Это сообщение будет закрыто через...";

// The window's layout, in pixels at 96 dots per inch.
struct Place {
    int left, top, width, height;
};
inline constexpr int kClientWidth = 400;
inline constexpr int kClientHeight = 85;
inline constexpr Place kLabMess{8, 8, 380, 16};
inline constexpr Place kMsgProcent{8, 28, 380, 21};
inline constexpr Place kLabel2{8, 60, 196, 13};
inline constexpr Place kBtnOK{312, 52, 75, 25};

// A front end's progress window, as the reports drive it.
class ProgressWindows {
public:
    virtual ~ProgressWindows() = default;
    // Whether a usable window exists (MessageFormOpen).
    virtual bool isOpen() const = 0;
    // Makes a new window, which counts as open from now on.
    virtual void create() = 0;
    virtual void setHeading(const std::string& text) = 0;
    // Shows the bar at `percent`; the gauge clamps it to 0..100.
    virtual void showBar(int percent) = 0;
    // Hides the bar and resets it to 0.
    virtual void hideBar() = 0;
    // Makes the window visible and brings it to the front.
    virtual void show() = 0;
    // Handles every pending message of the program.
    virtual void handleMessages() = 0;
    // The short pause after each report.
    virtual void pause() = 0;
    // Closes the window; it goes once messages are next handled.
    virtual void close() = 0;
};

// One report: a non-empty text replaces the heading, an empty one keeps it. A
// percent of 0 or more is cut to a whole number and shown on the bar; a
// negative percent with a text hides the bar. Every report that shows the
// window creates it when none is open, then handles all pending messages and
// pauses. A report with an empty text and a negative percent closes the window
// instead, when one is open.
//
// Throws grid::RangeError when the whole part of the percent does not fit a
// 32-bit signed integer.
void reportProgress(ProgressWindows& windows, const std::string& text, double percent);

// The percent cut toward zero; grid::RangeError beyond 32 bits.
int wholePercent(double percent);

// The gauge: the value it shows, how many of `width` inside pixels its fill
// takes (whole pixels, never ahead of the value), and its text.
inline constexpr int kGaugeMin = 0;
inline constexpr int kGaugeMax = 100;
int gaugeValue(int progress);
int gaugeFill(int width, int value);
std::string gaugeText(int value);

} // namespace progress

#pragma once

// The diagonal spin button's behaviour apart from drawing: which half a
// point lies in, and what presses, slides, releases and the repeat timer do.

#include <functional>
#include <memory>

namespace spinedit {

enum class TSpinPress { spNone = 0, spTop = 1, spBottom = 2 };

// The half of a `width` x `height` button under a point: the lower one lies
// strictly below the diagonal from the lower-left to the upper-right corner,
// so a point on it belongs to the upper half.
TSpinPress halfAt(int x, int y, int width, int height);

// One press at a time: a left press clicks its half at once, again after
// kFirstRepeatMs, then every kRepeatMs while it is held on the half it
// started on. Sliding off pauses the repeat and sliding back resumes it; the
// other half never presses during that press.
//
// The hooks are the front end's: the clicks, the repeat timer, a repaint of
// the face and whether the button still holds the mouse. A click handler may
// throw (a throwing repeat stops the timer), run an event loop that delivers
// the release, or destroy the button and with it this object.
class SpinButtonPress {
public:
    static constexpr int kFirstRepeatMs = 400;
    static constexpr int kRepeatMs = 100;

    SpinButtonPress() = default;
    ~SpinButtonPress() { *m_alive = false; }
    SpinButtonPress(const SpinButtonPress&) = delete;
    SpinButtonPress& operator=(const SpinButtonPress&) = delete;

    std::function<void()> OnTopClick;
    std::function<void()> OnBottomClick;
    // Starts the repeat timer, or changes its interval while it runs.
    std::function<void(int ms)> startRepeat;
    std::function<void()> stopRepeat;
    // The pressed half changed: the face is to be drawn again.
    std::function<void()> repaint;
    // Whether the button still has the mouse captured; taken as yes when unset.
    std::function<bool()> holdsMouse;

    TSpinPress pressedHalf() const { return m_down; }
    bool dragging() const { return m_dragging; }
    // A click handler of this press is running.
    bool clicking() const { return m_clicking; }

    // A left press at (x, y) on an enabled button `width` x `height`.
    void press(int x, int y, int width, int height);
    void move(int x, int y, int width, int height);
    // The left button released, wherever the pointer is: the press is over.
    void release() { cancel(); }
    // A tick of the repeat timer.
    void repeatTick();
    // Ends any press: the button was disabled or hidden, or lost the mouse.
    void cancel();

private:
    // False when a handler destroyed this object.
    bool click(TSpinPress half);
    void setPressed(TSpinPress half);

    TSpinPress m_down = TSpinPress::spNone;
    TSpinPress m_firstDown = TSpinPress::spNone;
    bool m_dragging = false;
    bool m_clicking = false;
    bool m_repeating = false;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace spinedit

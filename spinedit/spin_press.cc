#include "spinedit/spin_press.h"

namespace spinedit {

TSpinPress halfAt(int x, int y, int width, int height)
{
    if (width <= 0)
        return TSpinPress::spTop;
    // The slope is a real ratio: a button wider than high has a shallow diagonal.
    const double h = height;
    const double ratio = h / width;
    return y > h - ratio * x ? TSpinPress::spBottom : TSpinPress::spTop;
}

void SpinButtonPress::press(int x, int y, int width, int height)
{
    // Set before the click: a handler that runs an event loop may see the
    // release, which ends the press.
    m_dragging = true;
    if (m_down != TSpinPress::spNone || m_clicking)
        return;
    m_firstDown = halfAt(x, y, width, height);
    setPressed(m_firstDown);
    if (!click(m_firstDown))
        return;
    if (!m_dragging) {
        setPressed(TSpinPress::spNone);
        return;
    }
    m_repeating = true;
    if (startRepeat)
        startRepeat(kFirstRepeatMs);
}

void SpinButtonPress::move(int x, int y, int width, int height)
{
    if (!m_dragging)
        return;
    // Inclusive of the far edges, as the pointer reports them while dragging.
    const bool inside = x >= 0 && x <= width && y >= 0 && y <= height;
    if (inside && halfAt(x, y, width, height) == m_firstDown)
        setPressed(m_firstDown);
    else
        setPressed(TSpinPress::spNone);
}

void SpinButtonPress::repeatTick()
{
    if (!m_repeating)
        return;
    if (startRepeat)
        startRepeat(kRepeatMs);
    // A handler that runs an event loop lets ticks in; they wait for it.
    if (m_down == TSpinPress::spNone || m_clicking || !m_dragging || (holdsMouse && !holdsMouse()))
        return;
    const std::shared_ptr<bool> alive = m_alive;
    try {
        click(m_down);
    } catch (...) {
        if (*alive) {
            m_repeating = false;
            if (stopRepeat)
                stopRepeat();
        }
        throw;
    }
}

void SpinButtonPress::cancel()
{
    m_dragging = false;
    m_firstDown = TSpinPress::spNone;
    setPressed(TSpinPress::spNone);
    if (m_repeating) {
        m_repeating = false;
        if (stopRepeat)
            stopRepeat();
    }
}

bool SpinButtonPress::click(TSpinPress half)
{
    const std::shared_ptr<bool> alive = m_alive;
    // A copy: the handler may destroy the hook along with this object.
    const std::function<void()> handler = half == TSpinPress::spTop ? OnTopClick : OnBottomClick;
    m_clicking = true;
    try {
        if (handler)
            handler();
    } catch (...) {
        if (*alive)
            m_clicking = false;
        throw;
    }
    if (!*alive)
        return false;
    m_clicking = false;
    return true;
}

void SpinButtonPress::setPressed(TSpinPress half)
{
    if (half == m_down)
        return;
    m_down = half;
    if (repaint)
        repaint();
}

} // namespace spinedit

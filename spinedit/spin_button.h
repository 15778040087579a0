#pragma once

#include "spinedit/spin_press.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <array>

class QTimer;

namespace spinedit {

// One square button split by the diagonal from its lower-left to its
// upper-right corner: the upper half clicks OnTopClick, the lower half
// OnBottomClick. A press clicks at once, again after kFirstRepeatMs, then
// every kRepeatMs while it is held on the half it started on; sliding off
// pauses the repeat and the other half never presses during that press.
// The faces look the same enabled and disabled; a disabled button ignores
// presses. The repeat timer, a child named "RepeatTimer", exists from the
// first press.
//
// Handlers may throw: the press state stays consistent and a throwing repeat
// stops its timer. Handlers may also run an event loop or delete the button.
class TRxSpinButton : public QWidget {
    Q_OBJECT

public:
    static constexpr int kFirstRepeatMs = SpinButtonPress::kFirstRepeatMs;
    static constexpr int kRepeatMs = SpinButtonPress::kRepeatMs;

    explicit TRxSpinButton(QWidget* parent = nullptr);

    // Marks drawn on the two halves. A null image restores the built-in mark.
    QImage UpGlyph() const { return m_upGlyph; }
    void setUpGlyph(const QImage& glyph);
    QImage DownGlyph() const { return m_downGlyph; }
    void setDownGlyph(const QImage& glyph);

    // Focused by a press when it is a tab stop that can take the focus. Not
    // owned; forgotten when it is destroyed.
    QWidget* FocusControl() const { return m_focusControl; }
    void setFocusControl(QWidget* control) { m_focusControl = control; }

    TSpinPress pressedHalf() const { return m_press.pressedHalf(); }
    // The half under a point of the button: the lower one lies strictly below
    // the diagonal, so a point on it belongs to the upper half.
    TSpinPress halfAt(QPoint pos) const;

signals:
    void OnTopClick();
    void OnBottomClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void startRepeat(int ms);
    void redrawFaces();

    QImage m_upGlyph;
    QImage m_downGlyph;
    bool m_redraw = true;
    std::array<QImage, 3> m_faces; // by TSpinPress
    QTimer* m_repeatTimer = nullptr;
    QPointer<QWidget> m_focusControl;
    SpinButtonPress m_press;
};

} // namespace spinedit

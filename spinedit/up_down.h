#pragma once

#include <QWidget>

class QToolButton;

namespace spinedit {

// The standard pair of up and down arrows, one above the other, children
// named "UpArrow" and "DownArrow". Each press of an arrow and each of its
// auto-repeats clicks once; a click raised while a handler of the previous
// one still runs (an event loop inside it) is dropped.
class TRxUpDown : public QWidget {
    Q_OBJECT

public:
    enum class Button { Next, Previous };
    Q_ENUM(Button)

    explicit TRxUpDown(QWidget* parent = nullptr);

signals:
    // Next is the up arrow.
    void OnClick(spinedit::TRxUpDown::Button button);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void arrowPressed(Button button);

    QToolButton* m_up;
    QToolButton* m_down;
    bool m_clicking = false;
};

} // namespace spinedit

#include "spinedit/up_down.h"

#include "spinedit/busy_flag.h"

#include <QStyle>
#include <QToolButton>

namespace spinedit {
namespace {

QToolButton* makeArrow(QWidget* parent, Qt::ArrowType arrow, const char* name)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setArrowType(arrow);
    button->setFocusPolicy(Qt::NoFocus);
    // Steps come from presses and repeats, at the rate of the style's spin boxes.
    button->setAutoRepeat(true);
    button->setAutoRepeatDelay(parent->style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatThreshold));
    button->setAutoRepeatInterval(parent->style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatRate));
    return button;
}

} // namespace

TRxUpDown::TRxUpDown(QWidget* parent)
    : QWidget(parent),
      m_up(makeArrow(this, Qt::UpArrow, "UpArrow")),
      m_down(makeArrow(this, Qt::DownArrow, "DownArrow"))
{
    // A repeat emits pressed() again, and clicked() only comes on release.
    connect(m_up, &QToolButton::pressed, this, [this] { arrowPressed(Button::Next); });
    connect(m_down, &QToolButton::pressed, this, [this] { arrowPressed(Button::Previous); });
}

void TRxUpDown::resizeEvent(QResizeEvent* event)
{
    const int upper = height() / 2;
    m_up->setGeometry(0, 0, width(), upper);
    m_down->setGeometry(0, upper, width(), height() - upper);
    QWidget::resizeEvent(event);
}

void TRxUpDown::arrowPressed(Button button)
{
    if (m_clicking)
        return;
    const BusyFlag busy(this, m_clicking);
    emit OnClick(button);
}

} // namespace spinedit

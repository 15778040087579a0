#include "progress/gauge.h"

#include "progress/report_progress.h"

#include <QPainter>

namespace progress {

namespace {

const QColor kBackColor(Qt::white);
const QColor kForeColor(0, 0, 128); // navy

} // namespace

Gauge::Gauge(QWidget* parent) : QWidget(parent)
{
    // Everything is painted, so Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Gauge::setProgress(int value)
{
    value = gaugeValue(value);
    if (value == m_progress)
        return;
    m_progress = value;
    update();
}

void Gauge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor textColor = palette().color(QPalette::WindowText);

    painter.setPen(textColor);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    const QRect bar = rect().adjusted(1, 1, -1, -1);
    // Whole pixels only: the fill never runs ahead of the percentage.
    const int fillWidth = gaugeFill(bar.width(), m_progress);
    const QRect filled(bar.left(), bar.top(), fillWidth, bar.height());
    const QRect empty(bar.left() + fillWidth, bar.top(), bar.width() - fillWidth, bar.height());
    painter.fillRect(empty, kBackColor);
    painter.fillRect(filled, kForeColor);

    // The text is drawn twice, each pass clipped to one part of the bar, so
    // a digit that straddles the edge of the fill changes colour with it.
    const QString text = QString::fromStdString(gaugeText(m_progress));
    painter.setFont(font());
    painter.setClipRect(empty);
    painter.setPen(textColor);
    painter.drawText(bar, Qt::AlignCenter, text);
    painter.setClipRect(filled);
    painter.setPen(kBackColor);
    painter.drawText(bar, Qt::AlignCenter, text);
}

} // namespace progress

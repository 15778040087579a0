#include "spinedit/spin_button.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <cmath>
#include <initializer_list>
#include <string_view>

namespace spinedit {
namespace {

// Black marks on a transparent ground, so only the mark reaches the face.
QImage glyphFrom(std::initializer_list<std::string_view> rows)
{
    const int height = static_cast<int>(rows.size());
    const int width = static_cast<int>(rows.begin()->size());
    QImage glyph(width, height, QImage::Format_ARGB32);
    glyph.fill(Qt::transparent);
    int y = 0;
    for (std::string_view row : rows) {
        for (int x = 0; x < width; ++x) {
            if (row[static_cast<std::size_t>(x)] == '#')
                glyph.setPixelColor(x, y, Qt::black);
        }
        ++y;
    }
    return glyph;
}

QImage defaultUpGlyph()
{
    static const QImage glyph = glyphFrom({"..#..", ".###.", "#####"});
    return glyph;
}

QImage defaultDownGlyph()
{
    static const QImage glyph = glyphFrom({"#####", ".###.", "..#.."});
    return glyph;
}

// Top-left corner of a glyph centred on `centre`, rounded half to even.
int glyphCorner(double centre, int extent)
{
    return static_cast<int>(std::nearbyint(centre - extent / 2.0));
}

std::size_t faceIndex(TSpinPress state)
{
    return static_cast<std::size_t>(state);
}

QImage drawFace(QSize size, TSpinPress pressed, const QImage& upGlyph, const QImage& downGlyph,
                const QPalette& palette)
{
    // The active colours: a disabled button keeps the enabled look.
    const QColor face = palette.color(QPalette::Active, QPalette::Button);
    const QColor frame = palette.color(QPalette::Active, QPalette::Shadow);
    const QColor light = palette.color(QPalette::Active, QPalette::Light);
    const QColor dark = palette.color(QPalette::Active, QPalette::Dark);
    const int w = size.width();
    const int h = size.height();

    QImage image(size, QImage::Format_RGB32);
    image.fill(face);
    QPainter p(&image);
    const auto line = [&p](const QColor& colour, int x1, int y1, int x2, int y2) {
        p.setPen(colour);
        p.drawLine(x1, y1, x2, y2);
    };
    p.setPen(frame);
    p.drawRect(0, 0, w - 1, h - 1);
    line(frame, 0, h - 1, w - 1, 0);

    // Each half is raised: light on its edges facing up or left, dark on
    // those facing down or right; pressing a half swaps them.
    const bool top = pressed == TSpinPress::spTop;
    const bool bottom = pressed == TSpinPress::spBottom;
    line(top ? dark : light, 1, 1, w - 3, 1);
    line(top ? dark : light, 1, 1, 1, h - 3);
    if (!top)
        line(dark, 1, h - 3, w - 3, 1);
    line(bottom ? dark : light, 2, h - 2, w - 2, 2);
    if (bottom)
        line(dark, 3, h - 2, w - 2, 3);
    line(bottom ? light : dark, 2, h - 2, w - 2, h - 2);
    line(bottom ? light : dark, w - 2, 2, w - 2, h - 2);

    // A pressed upper half sinks its mark one pixel further.
    const int upShift = top ? 2 : 1;
    p.drawImage(glyphCorner(w / 4.0, upGlyph.width()) + upShift, glyphCorner(h / 4.0, upGlyph.height()) + upShift,
                upGlyph);
    p.drawImage(glyphCorner(3 * w / 4.0, downGlyph.width()) - 1, glyphCorner(3 * h / 4.0, downGlyph.height()) - 1,
                downGlyph);
    return image;
}

} // namespace

TRxSpinButton::TRxSpinButton(QWidget* parent)
    : QWidget(parent), m_upGlyph(defaultUpGlyph()), m_downGlyph(defaultDownGlyph())
{
    resize(20, 20);
    m_press.OnTopClick = [this] { emit OnTopClick(); };
    m_press.OnBottomClick = [this] { emit OnBottomClick(); };
    m_press.startRepeat = [this](int ms) { startRepeat(ms); };
    m_press.stopRepeat = [this] {
        if (m_repeatTimer)
            m_repeatTimer->stop();
    };
    m_press.repaint = [this] { update(); };
    m_press.holdsMouse = [this] {
        const QWidget* grabber = QWidget::mouseGrabber();
        return !grabber || grabber == this;
    };
}

void TRxSpinButton::setUpGlyph(const QImage& glyph)
{
    m_upGlyph = glyph.isNull() ? defaultUpGlyph() : glyph;
    m_redraw = true;
    update();
}

void TRxSpinButton::setDownGlyph(const QImage& glyph)
{
    m_downGlyph = glyph.isNull() ? defaultDownGlyph() : glyph;
    m_redraw = true;
    update();
}

TSpinPress TRxSpinButton::halfAt(QPoint pos) const
{
    return spinedit::halfAt(pos.x(), pos.y(), width(), height());
}

void TRxSpinButton::paintEvent(QPaintEvent*)
{
    if (m_redraw || m_faces[0].size() != size())
        redrawFaces();
    QPainter(this).drawImage(0, 0, m_faces[faceIndex(m_press.pressedHalf())]);
}

void TRxSpinButton::redrawFaces()
{
    for (TSpinPress state : {TSpinPress::spNone, TSpinPress::spTop, TSpinPress::spBottom})
        m_faces[faceIndex(state)] = drawFace(size(), state, m_upGlyph, m_downGlyph, palette());
    m_redraw = false;
}

void TRxSpinButton::mousePressEvent(QMouseEvent* event)
{
    // Other buttons do nothing here, and do not reach the edit underneath,
    // where a middle click would paste.
    event->accept();
    if (event->button() != Qt::LeftButton || !isEnabled())
        return;
    QWidget* focus = m_focusControl;
    if (focus && (focus->focusPolicy() & Qt::TabFocus) && focus->isEnabled() && focus->isVisible() &&
        !focus->hasFocus())
        focus->setFocus(Qt::OtherFocusReason);
    const QPoint pos = event->position().toPoint();
    m_press.press(pos.x(), pos.y(), width(), height());
}

void TRxSpinButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_press.dragging()) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    event->accept();
    const QPoint pos = event->position().toPoint();
    m_press.move(pos.x(), pos.y(), width(), height());
}

void TRxSpinButton::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton || !m_press.dragging())
        return;
    // Wherever the pointer is released, the press is over: a release reported
    // outside without a move before it would otherwise leave a half pressed,
    // and the next press would not click.
    m_press.release();
}

void TRxSpinButton::changeEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::EnabledChange:
        if (!isEnabled())
            m_press.cancel();
        m_redraw = true;
        update();
        break;
    case QEvent::PaletteChange:
        m_redraw = true;
        update();
        break;
    case QEvent::ActivationChange:
        // A window coming up over this one takes the mouse with it.
        if (!isActiveWindow())
            m_press.cancel();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

void TRxSpinButton::hideEvent(QHideEvent* event)
{
    m_press.cancel();
    QWidget::hideEvent(event);
}

void TRxSpinButton::startRepeat(int ms)
{
    if (!m_repeatTimer) {
        m_repeatTimer = new QTimer(this);
        m_repeatTimer->setObjectName(QStringLiteral("RepeatTimer"));
        connect(m_repeatTimer, &QTimer::timeout, this, [this] { m_press.repeatTick(); });
    }
    m_repeatTimer->start(ms);
}

} // namespace spinedit

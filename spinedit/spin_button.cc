#include "spinedit/spin_button.h"

#include "spinedit/spin_face.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <string_view>

namespace spinedit {
namespace {

// Black marks on a transparent ground, so only the mark reaches the face.
template <std::size_t N>
QImage glyphFrom(const std::array<const char*, N>& rows)
{
    const int height = static_cast<int>(rows.size());
    const int width = static_cast<int>(std::string_view(rows[0]).size());
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
    static const QImage glyph = glyphFrom(kUpGlyph);
    return glyph;
}

QImage defaultDownGlyph()
{
    static const QImage glyph = glyphFrom(kDownGlyph);
    return glyph;
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
    const auto colour = [&palette](FaceColour c) {
        switch (c) {
        case FaceColour::Frame:
            return palette.color(QPalette::Active, QPalette::Shadow);
        case FaceColour::Light:
            return palette.color(QPalette::Active, QPalette::Light);
        case FaceColour::Dark:
            break;
        }
        return palette.color(QPalette::Active, QPalette::Dark);
    };
    const int w = size.width();
    const int h = size.height();

    QImage image(size, QImage::Format_RGB32);
    image.fill(face);
    QPainter p(&image);
    for (const FaceLine& line : faceLines(w, h, pressed)) {
        p.setPen(colour(line.colour));
        p.drawLine(line.x1, line.y1, line.x2, line.y2);
    }
    const GlyphCorner up = upGlyphCorner(w, h, upGlyph.width(), upGlyph.height(), pressed);
    const GlyphCorner down = downGlyphCorner(w, h, downGlyph.width(), downGlyph.height());
    p.drawImage(up.x, up.y, upGlyph);
    p.drawImage(down.x, down.y, downGlyph);
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

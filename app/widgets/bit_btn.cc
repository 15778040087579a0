#include "app/widgets/bit_btn.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace app {
namespace {

constexpr int kSpacing = 4;

} // namespace

TBitBtn::TBitBtn(QWidget* parent) : QPushButton(parent)
{
    setAutoDefault(false);
    setDefault(false);
}

void TBitBtn::setGlyphs(const QPixmap& enabled, const QPixmap& disabled)
{
    m_enabled = enabled;
    m_disabled = disabled;
    update();
}

QSize TBitBtn::sizeHint() const
{
    const QFontMetrics fm(font());
    const QSize text = fm.size(Qt::TextShowMnemonic, this->text());
    return {std::max(text.width(), m_enabled.width()) + 16, m_enabled.height() + kSpacing + text.height() + 12};
}

void TBitBtn::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    // The frame and face only; the picture and caption are laid out below.
    option.text.clear();
    option.icon = QIcon();
    p.drawControl(QStyle::CE_PushButtonBevel, option);

    const QPixmap& glyph = isEnabled() ? m_enabled : (m_disabled.isNull() ? m_enabled : m_disabled);
    const QFontMetrics fm(font());
    const QSize textSize = fm.size(Qt::TextShowMnemonic, text());
    const int glyphHeight = glyph.isNull()
                                ? 0
                                : glyph.height() / std::max(1, static_cast<int>(glyph.devicePixelRatio()));
    const int total = glyphHeight + (glyphHeight ? kSpacing : 0) + textSize.height();
    // A pressed button shifts its face down and right, as the frame sinks.
    const int shift = isDown() ? 1 : 0;
    int top = (height() - total) / 2 + shift;
    if (!glyph.isNull()) {
        const int glyphWidth = glyph.width() / std::max(1, static_cast<int>(glyph.devicePixelRatio()));
        p.drawPixmap((width() - glyphWidth) / 2 + shift, top, glyph);
        top += glyphHeight + kSpacing;
    }
    const QRect textRect(shift, top, width(), textSize.height());
    p.drawItemText(textRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic, palette(), isEnabled(), text(),
                   QPalette::ButtonText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(4, 4, -4, -4);
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

} // namespace app

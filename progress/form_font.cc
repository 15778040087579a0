#include "progress/form_font.h"

#include <QStringList>

namespace progress {

QFont formFont()
{
    QFont font;
    // The nearest in width first: the layout's sizes were made for narrow
    // 8-point text.
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

} // namespace progress

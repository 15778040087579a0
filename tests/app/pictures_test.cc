#include "app/widgets/pictures.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSet>

#include <gtest/gtest.h>

namespace app {
namespace {

// The standard 16-colour palette.
const QSet<QRgb> kPalette = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

// Fails on a pixel outside the palette; true when some pixel is transparent.
bool checkPalette(const QImage& image, const char* name)
{
    bool transparent = false;
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < pixels.height(); ++y) {
        for (int x = 0; x < pixels.width(); ++x) {
            const QRgb pixel = pixels.pixel(x, y);
            if (qAlpha(pixel) == 0) {
                transparent = true;
                continue;
            }
            EXPECT_EQ(qAlpha(pixel), 255) << name << " " << x << "," << y;
            EXPECT_TRUE(kPalette.contains(pixel & 0xFFFFFF)) << name << " " << x << "," << y;
        }
    }
    return transparent;
}

TEST(Pictures, SizesAndPaletteAndTheDisabledTickIsOurs)
{
    const QImage icon = applicationIcon().pixmap(32, 32).toImage();
    const QImage tick = moveTick().toImage();
    const QImage disabled = moveTickDisabled().toImage();
    ASSERT_EQ(icon.size(), QSize(32, 32));
    ASSERT_EQ(tick.size(), QSize(16, 16));
    ASSERT_EQ(disabled.size(), QSize(16, 16));
    EXPECT_TRUE(checkPalette(icon, "icon"));
    EXPECT_TRUE(checkPalette(tick, "tick"));
    EXPECT_TRUE(checkPalette(disabled, "disabled tick"));
    EXPECT_NE(tick, disabled);

    const QImage shownDisabled = moveButtonIcon().pixmap(16, 16, QIcon::Disabled).toImage();
    EXPECT_EQ(shownDisabled.convertToFormat(QImage::Format_ARGB32), disabled.convertToFormat(QImage::Format_ARGB32));

    // Four times enlarged, on button face, for a look by eye.
    QImage sheet(4 * (32 + 16 + 16) + 4 * 8, 4 * 32 + 8, QImage::Format_RGB32);
    sheet.fill(QColor(0xC0, 0xC0, 0xC0));
    QPainter painter(&sheet);
    int x = 8;
    for (const QImage* image : {&icon, &tick, &disabled}) {
        painter.drawImage(QRect(x, 4, 4 * image->width(), 4 * image->height()), *image);
        x += 4 * image->width() + 8;
    }
    painter.end();
    const QString folder = QStringLiteral(GRIDSHIFT_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    EXPECT_TRUE(sheet.save(folder + QStringLiteral("/pictures.png")));
}

} // namespace
} // namespace app

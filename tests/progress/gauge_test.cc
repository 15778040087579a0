#include "progress/gauge.h"

#include <QCoreApplication>
#include <QEvent>
#include <QImage>

#include <gtest/gtest.h>

namespace progress {
namespace {

struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

TEST(Gauge, ClampsAndRepaintsOnlyWhenTheShownValueChanges)
{
    Gauge gauge;
    gauge.resize(380, 21);
    gauge.show();
    QCoreApplication::processEvents();
    PaintCounter counter;
    gauge.installEventFilter(&counter);

    const struct {
        int value, shown, paints;
    } steps[] = {{42, 42, 1}, {42, 42, 1}, {150, 100, 2}, {200, 100, 2}, {-5, 0, 3}, {-1, 0, 3}};
    for (const auto& step : steps) {
        gauge.setProgress(step.value);
        QCoreApplication::processEvents();
        EXPECT_EQ(gauge.Progress(), step.shown) << step.value;
        EXPECT_EQ(counter.paints, step.paints) << step.value;
    }
}

TEST(Gauge, FillsWholePixelsAndInvertsTheText)
{
    const QRgb navy = qRgb(0, 0, 128);
    const QRgb white = qRgb(255, 255, 255);
    Gauge gauge;
    gauge.resize(380, 21);
    gauge.setProgress(42);
    QImage image = gauge.grab().toImage();
    // 378 pixels inside the border at 42% fill 158.76, cut to 158. Row 2
    // lies above the text.
    EXPECT_EQ(image.pixel(1, 2), navy);
    EXPECT_EQ(image.pixel(158, 2), navy);
    EXPECT_EQ(image.pixel(159, 2), white);

    // At 50% the fill ends at x = 189, inside the centred "50%".
    gauge.setProgress(50);
    image = gauge.grab().toImage();
    bool lightOnNavy = false;
    bool darkOnWhite = false;
    for (int y = 1; y < 20; ++y) {
        for (int x = 160; x < 220; ++x) {
            const int gray = qGray(image.pixel(x, y));
            lightOnNavy |= x <= 189 && gray > 128;
            darkOnWhite |= x > 189 && gray < 128;
        }
    }
    EXPECT_TRUE(lightOnNavy);
    EXPECT_TRUE(darkOnWhite);
}

} // namespace
} // namespace progress

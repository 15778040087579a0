#include "spinedit/spin_button.h"
#include "spinedit/up_down.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>
#include <QToolButton>

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace spinedit {
namespace {

using enum TSpinPress;

const QPoint kUpper(4, 4);
const QPoint kLower(14, 14);

// One timeout of the running repeat timer, delivered now instead of after its interval.
QTimer* fireRepeat(TRxSpinButton& button)
{
    auto* timer = button.findChild<QTimer*>(QStringLiteral("RepeatTimer"));
    QTimerEvent tick(timer->timerId());
    QCoreApplication::sendEvent(timer, &tick);
    return timer;
}

struct Button18 : TRxSpinButton {
    Button18() { resize(18, 18); }
};

TEST(SpinButton, TheDiagonalBelongsToTheUpperHalf)
{
    struct Case {
        QSize size;
        QPoint pos;
        TSpinPress half;
    };
    for (const Case& c :
         {Case{{18, 18}, {9, 9}, spTop}, Case{{18, 18}, {9, 10}, spBottom}, Case{{18, 18}, {0, 18}, spTop},
          // The slope is a real ratio.
          Case{{40, 20}, {10, 15}, spTop}, Case{{40, 20}, {10, 16}, spBottom}}) {
        TRxSpinButton button;
        button.resize(c.size);
        EXPECT_EQ(button.halfAt(c.pos), c.half) << c.pos.x() << "," << c.pos.y() << " in " << c.size.width();
    }
    Button18 button;
    QSignalSpy up(&button, &TRxSpinButton::OnTopClick);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(9, 9));
    EXPECT_EQ(up.count(), 1);
}

TEST(SpinButton, HoldingClicksAtOnceThenAfter400ThenEvery100Milliseconds)
{
    Button18 button;
    int now = 0;
    std::vector<int> clicks;
    QObject::connect(&button, &TRxSpinButton::OnTopClick, [&] { clicks.push_back(now); });
    QTest::mousePress(&button, Qt::LeftButton, {}, kUpper);
    auto* timer = button.findChild<QTimer*>(QStringLiteral("RepeatTimer"));
    for (int tick = 0; tick < 3; ++tick) {
        now += timer->interval();
        fireRepeat(button);
    }
    EXPECT_EQ(clicks, (std::vector<int>{0, 400, 500, 600}));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, kUpper);
    EXPECT_EQ(button.pressedHalf(), spNone);
    EXPECT_FALSE(timer->isActive());
}

TEST(SpinButton, SlidingOffPausesAndTheOtherHalfNeverPresses)
{
    Button18 button;
    QSignalSpy up(&button, &TRxSpinButton::OnTopClick);
    QSignalSpy down(&button, &TRxSpinButton::OnBottomClick);
    QTest::mousePress(&button, Qt::LeftButton, {}, kUpper);
    for (QPoint away : {kLower, QPoint(30, 4)}) {
        QTest::mouseMove(&button, away);
        EXPECT_EQ(button.pressedHalf(), spNone);
        fireRepeat(button);
    }
    QTest::mouseMove(&button, kUpper);
    EXPECT_EQ(fireRepeat(button)->interval(), 100) << "resumes at the short interval";
    EXPECT_EQ(up.count(), 2);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, kLower);
    EXPECT_EQ(down.count(), 0);

    // A release outside with no move before it ends the press too.
    QTest::mousePress(&button, Qt::LeftButton, {}, kLower);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(40, 40));
    QTest::mouseClick(&button, Qt::LeftButton, {}, kLower);
    EXPECT_EQ(down.count(), 2);
}

TEST(SpinButton, AThrowingRepeatStopsItsTimer)
{
    Button18 button;
    int clicks = 0;
    QObject::connect(&button, &TRxSpinButton::OnTopClick, [&] {
        if (++clicks == 2)
            throw std::runtime_error("step failed");
    });
    QTest::mousePress(&button, Qt::LeftButton, {}, kUpper);
    EXPECT_THROW(fireRepeat(button), std::runtime_error);
    EXPECT_FALSE(button.findChild<QTimer*>()->isActive());
    QTest::mouseRelease(&button, Qt::LeftButton, {}, kUpper);
    QTest::mouseClick(&button, Qt::LeftButton, {}, kUpper);
    EXPECT_EQ(clicks, 3);
}

TEST(UpDown, EachPressAndRepeatClicksOnceButNotWithinAHandler)
{
    TRxUpDown upDown;
    upDown.resize(14, 17);
    auto* up = upDown.findChild<QToolButton*>(QStringLiteral("UpArrow"));
    auto* down = upDown.findChild<QToolButton*>(QStringLiteral("DownArrow"));
    std::vector<TRxUpDown::Button> clicks;
    QObject::connect(&upDown, &TRxUpDown::OnClick, [&](TRxUpDown::Button b) {
        clicks.push_back(b);
        if (clicks.size() == 1) // as if the handler ran an event loop meanwhile
            QTest::mouseClick(down, Qt::LeftButton);
    });
    QTest::mousePress(up, Qt::LeftButton);
    EXPECT_EQ(clicks, (std::vector{TRxUpDown::Button::Next})) << "on the press, nothing nested";
    QTest::mouseRelease(up, Qt::LeftButton);

    down->setAutoRepeatDelay(1);
    down->setAutoRepeatInterval(1);
    QTest::mousePress(down, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return clicks.size() >= 4; }, 5000));
    QTest::mouseRelease(down, Qt::LeftButton);
    EXPECT_EQ(clicks[1], TRxUpDown::Button::Previous);
}

} // namespace
} // namespace spinedit

#include "progress/fr_message.h"

#include "progress/gauge.h"
#include "grid/errors.h"
#include "progress/window_progress_sink.h"

#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <limits>
#include <ostream>

void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace progress {
namespace {

const QString kLoading = QStringLiteral("Загрузка сетки рекламы");
const QString kShifting = QStringLiteral("Процесс переноса сетки !");

class ReportProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setReportPause([] {});
    }

    void TearDown() override
    {
        setMessagePump({});
        setReportPause({});
        ReportProgress({}, -1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete F_Message.data();
        MessageFormOpen = false;
    }

    static QString heading() { return F_Message->LabMess->text(); }
    static Gauge* bar() { return F_Message->MsgProcent; }
};

TEST_F(ReportProgressTest, FirstReportOpensTheWindowAndLaterOnesUpdateIt)
{
    ReportProgress(kLoading, 0);
    ASSERT_TRUE(MessageFormOpen);
    const QPointer<TF_Message> window = F_Message;
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(bar()->isVisible());

    const struct {
        double percent;
        int shown;
    } cases[] = {{42, 42}, {0.5, 0}, {99.99, 99}, {150, 100}, {2147483647.9, 100}};
    for (const auto& c : cases) {
        ReportProgress({}, c.percent);
        EXPECT_EQ(bar()->Progress(), c.shown) << c.percent;
    }
    EXPECT_EQ(F_Message, window);
    EXPECT_EQ(heading(), "Загрузка сетки рекламы");

    // A negative percent with a heading hides the bar and resets it.
    ReportProgress(QStringLiteral("Процесс переноса данных"), -1);
    EXPECT_EQ(heading(), "Процесс переноса данных");
    EXPECT_FALSE(bar()->isVisible());
    EXPECT_EQ(bar()->Progress(), 0);
    EXPECT_TRUE(MessageFormOpen);
}

TEST_F(ReportProgressTest, ClosedWindowStaysUntilMessagesAreNextHandled)
{
    ReportProgress({}, -1);
    EXPECT_FALSE(F_Message);

    ReportProgress(kLoading, 50);
    const QPointer<TF_Message> closed = F_Message;
    ReportProgress({}, -1);
    ReportProgress({}, -1);
    EXPECT_FALSE(MessageFormOpen);
    ASSERT_TRUE(closed);
    EXPECT_TRUE(closed->isVisible());
    EXPECT_EQ(closed->MsgProcent->Progress(), 50);

    processPendingMessages();
    EXPECT_FALSE(closed);
}

// Inside an event handler Qt is stricter about when a deleted-later object
// may go, and that is where reports run in the program.
TEST_F(ReportProgressTest, InsideAHandlerTheNextReportReleasesTheClosedWindow)
{
    bool visibleAfterClose = false;
    bool goneAfterNextReport = false;
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        ReportProgress(kLoading, 0);
        const QPointer<TF_Message> first = F_Message;
        ReportProgress({}, -1);
        visibleAfterClose = first && first->isVisible();
        ReportProgress(kShifting, 0);
        goneAfterNextReport = first.isNull();
        loop.quit();
    });
    loop.exec();
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_TRUE(goneAfterNextReport);
    EXPECT_EQ(heading(), "Процесс переноса сетки !");
}

TEST_F(ReportProgressTest, ReportHandlesMessagesUntilNoneIsLeft)
{
    QObject target;
    bool handled = false;
    QMetaObject::invokeMethod(
        &target,
        [&] {
            QMetaObject::invokeMethod(
                &target, [&] { handled = true; }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    ReportProgress(kLoading, 0);
    EXPECT_TRUE(handled);
}

TEST_F(ReportProgressTest, UserClosingTheWindowMakesTheNextReportOpenAFreshOne)
{
    ReportProgress(kShifting, 10);
    const QPointer<TF_Message> old = F_Message;
    old->windowHandle()->close(); // the close box
    EXPECT_FALSE(MessageFormOpen);

    ReportProgress({}, 12.5);
    EXPECT_FALSE(old);
    ASSERT_TRUE(MessageFormOpen);
    EXPECT_EQ(heading(), "");
    EXPECT_EQ(bar()->Progress(), 12);

    F_Message->windowHandle()->close();
    ReportProgress(kLoading, 20);
    EXPECT_EQ(heading(), "Загрузка сетки рекламы");
}

TEST_F(ReportProgressTest, ClosingAReleasedWindowAgainLeavesTheNewOneOpen)
{
    // With no messages handled the first window is still on screen when the
    // user clicks its close box.
    setMessagePump([] {});
    ReportProgress(kLoading, 0);
    const QPointer<TF_Message> old = F_Message;
    ReportProgress({}, -1);
    ReportProgress(kShifting, 0);
    ASSERT_TRUE(old);
    old->windowHandle()->close();
    EXPECT_TRUE(MessageFormOpen);
}

TEST_F(ReportProgressTest, PercentBeyondInt32IsARangeError)
{
    try {
        ReportProgress(kLoading, 2147483648.0);
        FAIL() << "no error";
    } catch (const grid::RangeError& error) {
        EXPECT_STREQ(error.what(), "Range check error");
    }
    EXPECT_THROW(ReportProgress({}, std::numeric_limits<double>::infinity()), grid::RangeError);

    // The window made before the failure serves the next report.
    ReportProgress({}, 1);
    EXPECT_TRUE(F_Message->isVisible());
    EXPECT_EQ(heading(), "Загрузка сетки рекламы");
}

TEST_F(ReportProgressTest, WindowStaysOnTopCentredAndFixed)
{
    ReportProgress(kLoading, 42);
    TF_Message* window = F_Message;
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    const QPoint offCentre = window->geometry().center() - QGuiApplication::primaryScreen()->geometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2);

    const QString folder = QStringLiteral(GRIDSHIFT_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(window->grab().save(folder + QStringLiteral("/progress.png")));
}

TEST_F(ReportProgressTest, WindowSinkTakesUtf8)
{
    WindowProgressSink sink;
    sink.report("Загрузка сетки рекламы", 7.9);
    EXPECT_EQ(heading(), kLoading);
    EXPECT_EQ(bar()->Progress(), 7);
    sink.report("", -1);
    EXPECT_FALSE(MessageFormOpen);
}

} // namespace
} // namespace progress

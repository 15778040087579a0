#include "app/widgets/exception_box.h"
#include "app/widgets/message_dialog.h"
#include "app/widgets/prompter.h"
#include "grid/shift.h"
#include "preset_prompter.h"

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <type_traits>

void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace app {
namespace {

// The window's tests answer through this fake; it must stay a whole Prompter.
static_assert(!std::is_abstract_v<PresetPrompter>);

// Whether a title bar as wide as the box holds the whole title beside the
// window's small icon and three buttons (close, minimise, maximise) at least
// as wide as the bar is high.
bool titleFits(const QWidget& box, const QString& title)
{
    const QStyle* style = box.style();
    const int room = box.width() - style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, &box) -
                     3 * style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box);
    return room >= QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(title);
}

// Acts on the next message box from inside its modal loop. A box still open
// after five seconds is closed, so a test that fails to answer fails instead
// of hanging.
class BoxDriver {
public:
    explicit BoxDriver(std::function<void(MessageDialog&)> action)
    {
        m_poll.setInterval(5);
        QObject::connect(&m_poll, &QTimer::timeout, [this, action] {
            auto* box = qobject_cast<MessageDialog*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            m_poll.stop();
            seen = true;
            title = box->windowTitle();
            text = box->text();
            titleFits = app::titleFits(*box, title);
            for (const QPushButton* button : box->findChildren<QPushButton*>())
                buttons << button->text();
            action(*box);
        });
        m_poll.start();
        m_watchdog.setSingleShot(true);
        QObject::connect(&m_watchdog, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<MessageDialog*>(QApplication::activeModalWidget())) {
                timedOut = true;
                box->done(QDialog::Rejected);
            }
        });
        m_watchdog.start(5000);
    }

    ~BoxDriver() { EXPECT_FALSE(timedOut) << "the box was left open"; }

    bool seen = false;
    bool timedOut = false;
    QString title;
    QString text;
    QStringList buttons;
    bool titleFits = false;

private:
    QTimer m_poll;
    QTimer m_watchdog;
};

// A key as the user types it: to the focused button, passed up to the box when the button has no use for it.
std::function<void(MessageDialog&)> press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    return [key, modifiers](MessageDialog& box) {
        QWidget* target = box.focusWidget() ? box.focusWidget() : &box;
        QTest::keyClick(target, key, modifiers);
    };
}

void saveScreenshot(QWidget& box, const QString& name)
{
    const QString folder = QStringLiteral(GRIDSHIFT_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    EXPECT_TRUE(box.grab().save(folder + QLatin1Char('/') + name));
}

TEST(ErrorBox, TitleButtonAndEveryWayOutPressesOk)
{
    ScreenPrompter prompter;
    {
        BoxDriver driver([](MessageDialog& box) {
            saveScreenshot(box, QStringLiteral("error_box.png"));
            press(Qt::Key_Return)(box);
        });
        prompter.error(QStringLiteral("Не найдена таблица AdvSetBlk.db"));
        EXPECT_TRUE(driver.seen);
        EXPECT_EQ(driver.title, "Error");
        EXPECT_EQ(driver.buttons, QStringList{"OK"});
        EXPECT_EQ(driver.text, "Не найдена таблица AdvSetBlk.db");
    }
    for (const auto& action :
         {press(Qt::Key_Escape), std::function<void(MessageDialog&)>([](MessageDialog& box) { box.close(); })}) {
        BoxDriver driver(action);
        prompter.error(QStringLiteral("x"));
        EXPECT_TRUE(driver.seen);
    }
}

TEST(ConfirmBox, OnlyYesAnswersYes)
{
    ScreenPrompter prompter;
    {
        BoxDriver driver([](MessageDialog& box) {
            EXPECT_EQ(box.focusWidget(), box.findChild<QPushButton*>(QStringLiteral("buttonYes")));
            saveScreenshot(box, QStringLiteral("confirm_box.png"));
            press(Qt::Key_Return)(box);
        });
        EXPECT_TRUE(prompter.confirm(QString::fromStdString(grid::shiftQuestion(5, 15))));
        EXPECT_EQ(driver.title, "Confirm");
        EXPECT_EQ(driver.buttons, (QStringList{"&Yes", "&No"}));
        // The question's carriage return is its line break.
        EXPECT_EQ(driver.text, "Вы действительно хотите перенести все блоки\n"
                               "рекламной сетки с 5-ой минуты на 15-ю ?");
    }

    const struct {
        const char* what;
        std::function<void(MessageDialog&)> action;
        bool yes;
    } cases[] = {
        {"Escape", press(Qt::Key_Escape), false},
        {"close", [](MessageDialog& box) { box.close(); }, false},
        {"Tab to No, Enter",
         [](MessageDialog& box) {
             press(Qt::Key_Tab)(box);
             press(Qt::Key_Return)(box);
         },
         false},
        {"Alt+N", press(Qt::Key_N, Qt::AltModifier), false},
        {"Alt+Y", press(Qt::Key_Y, Qt::AltModifier), true},
    };
    for (const auto& c : cases) {
        BoxDriver driver(c.action);
        EXPECT_EQ(prompter.confirm(QStringLiteral("?")), c.yes) << c.what;
        EXPECT_TRUE(driver.seen) << c.what;
    }
}

TEST(MessageDialog, LineBreaksAndWrappingAtHalfTheScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    MessageDialog box(MessageIcon::Question, QStringLiteral("Confirm"),
                      QStringLiteral("Перенести минуту 05 на 15?\r\nРазмер блока 03:00"), MessageButtons::YesNo);
    EXPECT_EQ(box.text(), "Перенести минуту 05 на 15?\nРазмер блока 03:00");
    const QWidget* message = box.findChild<QWidget*>(QStringLiteral("message"));
    ASSERT_NE(message, nullptr);
    const int lineHeight = box.fontMetrics().height();
    EXPECT_GE(message->height(), 2 * lineHeight);
    EXPECT_LT(message->height(), 3 * lineHeight);
    EXPECT_LE((box.geometry().center() - screen.center()).manhattanLength(), 1);

    // Many words, and one word longer than the limit: both stay inside it.
    for (const QString& text : {QStringLiteral("word ").repeated(400), QStringLiteral("C:\\").repeated(400)}) {
        MessageDialog wide(MessageIcon::Stop, QStringLiteral("Error"), text, MessageButtons::Ok);
        const QWidget* wrapped = wide.findChild<QWidget*>(QStringLiteral("message"));
        EXPECT_LE(wrapped->width(), screen.width() / 2);
        EXPECT_GT(wrapped->height(), 3 * lineHeight);
    }
}

TEST(MessageDialog, AShortTextLeavesRoomForTheWholeTitle)
{
    const QString keyViolation = QStringLiteral("Key violation.");
    MessageDialog box(MessageIcon::Stop, QStringLiteral("gridshift"), keyViolation, MessageButtons::Ok);
    EXPECT_TRUE(titleFits(box, QStringLiteral("gridshift"))) << box.width();

    // A longer title widens the box by as much as its caption grows, and the
    // button stays in the middle.
    const QString longTitle = QStringLiteral("gridshift - ") + QString(30, u'x');
    MessageDialog longer(MessageIcon::Stop, longTitle, keyViolation, MessageButtons::Ok);
    const QFontMetrics caption(QApplication::font("QMdiSubWindowTitleBar"));
    EXPECT_EQ(longer.width() - box.width(),
              caption.horizontalAdvance(longTitle) - caption.horizontalAdvance(QStringLiteral("gridshift")));
    const QPushButton* ok = longer.findChild<QPushButton*>(QStringLiteral("buttonOk"));
    EXPECT_LE(std::abs(ok->geometry().center().x() - longer.width() / 2), 1);

    // A text wider than the title sizes the box alone.
    const QString wideText = QStringLiteral("word ").repeated(30);
    MessageDialog untitled(MessageIcon::Stop, QString(), wideText, MessageButtons::Ok);
    MessageDialog titled(MessageIcon::Stop, QStringLiteral("gridshift"), wideText, MessageButtons::Ok);
    EXPECT_EQ(titled.width(), untitled.width());

    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    saveScreenshot(box, QStringLiteral("short_error_box.png"));
    // On a real screen the whole screen too, with the title bar a window
    // manager draws.
    if (QGuiApplication::platformName() != QLatin1String("offscreen") && box.screen()) {
        QTest::qWait(200);
        EXPECT_TRUE(box.screen()->grabWindow(0).save(QStringLiteral(GRIDSHIFT_SCREENSHOT_DIR) +
                                                     QStringLiteral("/short_error_box-screen.png")));
    }
}

TEST(ExceptionBox, FullStopFollowsTheLastCharacterCode)
{
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Range check error", "Range check error."},
        {"Table is busy.", "Table is busy."},
        {"Stop!", "Stop!"},
        {"AdvBlock.db: Key violation (FTime)", "AdvBlock.db: Key violation (FTime)"},
        {"trailing blank ", "trailing blank "},
        {"Continue?", "Continue?."},
        {"Record 42", "Record 42."},
        {"folder C:/", "folder C:/."},
        {"", ""},
        {"Ошибка чтения", "Ошибка чтения."},
        {"Файл занят: ё", "Файл занят: ё."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(exceptionBoxText(QString::fromUtf8(c.message)), QString::fromUtf8(c.shown)) << c.message;
}

TEST(ExceptionBox, ApplicationTitleFromTheProgramFile)
{
    const struct {
        const char* path;
        const char* title;
    } cases[] = {
        {"/usr/local/bin/gridshift", "gridshift"},
        {"Gridshift-GUI.exe", "Gridshift-gui"},
        {"/opt/my.prog.exe", "my"},
        {"/opt/tools.d/Shift", "Shift"},
        {"C:\\Утилиты\\СЕТКА.EXE", "Сетка"},
        {"/home/user/.hidden", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(applicationTitle(QString::fromUtf8(c.path)), QString::fromUtf8(c.title)) << c.path;
}

TEST(ExceptionBox, ShowsTheMessageUnderTheProgramsTitle)
{
    BoxDriver driver([](MessageDialog& box) {
        saveScreenshot(box, QStringLiteral("exception_box.png"));
        press(Qt::Key_Escape)(box);
    });
    showExceptionBox(QStringLiteral("Range check error"));
    // The first character stays as it is.
    EXPECT_EQ(driver.title, "app_widgets_test");
    EXPECT_EQ(driver.text, "Range check error.");
    EXPECT_EQ(driver.buttons, QStringList{"OK"});
}

TEST(ExceptionBox, AShortMessageLeavesRoomForTheTitle)
{
    BoxDriver driver(press(Qt::Key_Escape));
    showExceptionBox(QStringLiteral("Key violation"));
    EXPECT_EQ(driver.text, "Key violation.");
    EXPECT_TRUE(driver.titleFits);
}

} // namespace
} // namespace app

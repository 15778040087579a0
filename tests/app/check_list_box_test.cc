#include "app/widgets/check_list_box.h"

#include "progress/form_font.h"
#include "grid/filters.h"

#include <QDir>
#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <ostream>

void PrintTo(const QRect& rect, std::ostream* os)
{
    *os << rect.x() << "," << rect.y() << " " << rect.width() << "x" << rect.height();
}

void PrintTo(const QSize& size, std::ostream* os)
{
    *os << size.width() << "x" << size.height();
}

namespace app {
namespace {

// The day and hour lists as the main window lays them out.
class CheckListBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.setFont(progress::formFont());
        window.resize(260, 230);
        days = new TCheckListBox(&window);
        days->setGeometry(3, 2, 110, 225);
        days->setRowHeight(31);
        for (const char* name : grid::kDayNames)
            days->addItem(QString::fromUtf8(name), true);
        hours = new TCheckListBox(&window);
        hours->setGeometry(116, 2, 137, 225);
        hours->setRowHeight(18);
        hours->setColumns(2);
        for (int hour = 0; hour < 24; ++hour)
            hours->addItem(QString::fromStdString(grid::hourItemText(hour)), true);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    static void pressAt(TCheckListBox* list, const QPoint& position)
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, position);
    }

    // A point on the row's text, well right of the check column.
    static QPoint onText(TCheckListBox* list, int row)
    {
        const QRect rect = list->visualRect(row);
        return {rect.left() + 40, rect.center().y()};
    }

    QWidget window;
    TCheckListBox* days = nullptr;
    TCheckListBox* hours = nullptr;
};

TEST_F(CheckListBoxTest, EveryRowFitsWithoutScrolling)
{
    EXPECT_EQ(days->viewport()->size(), QSize(106, 221));
    for (int row = 0; row < 7; ++row) {
        EXPECT_EQ(days->visualRect(row), QRect(0, 31 * row, 106, 31)) << row;
        // The box sits in the middle of the row, give or take the odd pixel.
        const QRect box = days->checkBoxRect(row);
        EXPECT_LE(std::abs(box.top() - 31 * row - (31 * row + 30 - box.bottom())), 1) << row;
        EXPECT_EQ(box.left(), 1) << row;
    }

    // Two columns, each half the inside width, of twelve 18-pixel rows.
    EXPECT_EQ(hours->viewport()->size(), QSize(133, 221));
    for (int row = 0; row < 24; ++row) {
        const QRect expected(row < 12 ? 0 : 66, row % 12 * 18, 66, 18);
        EXPECT_EQ(hours->visualRect(row), expected) << row;
        EXPECT_EQ(hours->rowAt(expected.center()), row) << row;
    }
    EXPECT_EQ(hours->rowAt(QPoint(10, 12 * 18 + 1)), -1);
    EXPECT_FALSE(days->verticalScrollBar()->isVisible());
    EXPECT_FALSE(hours->horizontalScrollBar()->isVisible());
}

TEST_F(CheckListBoxTest, ClickOnTextSelectsAndSpaceToggles)
{
    QSignalSpy ticks(days, &TCheckListBox::checkedChanged);
    QSignalSpy selections(days, &TCheckListBox::currentRowChanged);

    pressAt(days, onText(days, 2));
    EXPECT_EQ(days->currentRow(), 2);
    EXPECT_TRUE(days->isChecked(2));
    EXPECT_EQ(ticks.count(), 0);
    EXPECT_EQ(selections.count(), 1);

    QTest::keyClick(days, Qt::Key_Space);
    EXPECT_FALSE(days->isChecked(2));
    ASSERT_EQ(ticks.count(), 1);
    EXPECT_EQ(ticks.at(0).at(0).toInt(), 2);
    EXPECT_FALSE(ticks.at(0).at(1).toBool());
    QTest::keyClick(days, Qt::Key_Space);
    EXPECT_TRUE(days->isChecked(2));

    // Setting a tick to what it is already is no change.
    days->setChecked(2, true);
    EXPECT_EQ(ticks.count(), 2);
}

TEST_F(CheckListBoxTest, PressInCheckColumnTogglesAndSelects)
{
    pressAt(days, days->checkBoxRect(4).center());
    EXPECT_EQ(days->currentRow(), 4);
    EXPECT_FALSE(days->isChecked(4));
    // The column's margin left of the box counts too.
    pressAt(days, QPoint(0, days->visualRect(4).top() + 2));
    EXPECT_TRUE(days->isChecked(4));
    // A double click is two presses; on the text it only selects. Sent
    // through the window, as the system sends it.
    QSignalSpy ticks(days, &TCheckListBox::checkedChanged);
    const auto doubleClick = [&](const QPoint& position) {
        QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                           days->viewport()->mapTo(&window, position));
    };
    doubleClick(days->checkBoxRect(4).center());
    EXPECT_EQ(ticks.count(), 2);
    EXPECT_TRUE(days->isChecked(4));
    doubleClick(onText(days, 5));
    EXPECT_EQ(days->currentRow(), 5);
    EXPECT_EQ(ticks.count(), 2);

    pressAt(hours, hours->checkBoxRect(13).center());
    EXPECT_EQ(hours->currentRow(), 13);
    for (int row = 0; row < 24; ++row)
        EXPECT_EQ(hours->isChecked(row), row != 13) << row;
}

TEST_F(CheckListBoxTest, SpaceNeedsASelectionAndArrowsCrossColumns)
{
    QTest::keyClick(hours, Qt::Key_Space);
    EXPECT_EQ(hours->currentRow(), -1);
    EXPECT_TRUE(hours->isChecked(0));

    const struct {
        Qt::Key key;
        int row;
    } steps[] = {{Qt::Key_Down, 0}, {Qt::Key_Right, 12}, {Qt::Key_Right, 23}, {Qt::Key_Left, 11}};
    for (const auto& step : steps) {
        QTest::keyClick(hours, step.key);
        EXPECT_EQ(hours->currentRow(), step.row) << step.key;
    }
}

TEST_F(CheckListBoxTest, ColumnsThatDoNotFitScrollIntoView)
{
    for (int row = 24; row < 30; ++row)
        hours->addItem(QString::number(row));
    QTest::keyClick(hours, Qt::Key_End);
    ASSERT_TRUE(QTest::qWaitFor([&] { return hours->horizontalScrollBar()->isVisible(); }, 1000));
    EXPECT_EQ(hours->currentRow(), 29);
    EXPECT_TRUE(hours->viewport()->rect().contains(hours->visualRect(29)));
    pressAt(hours, hours->checkBoxRect(29).center());
    EXPECT_TRUE(hours->isChecked(29));
}

TEST_F(CheckListBoxTest, ShiftFilterReadsTheTicksAsTheyAreNow)
{
    const CheckListTicks dayTicks(*days);
    const CheckListTicks hourTicks(*hours);
    const grid::DayHourFilter filter(dayTicks, hourTicks);
    pressAt(days, days->checkBoxRect(6).center());
    pressAt(hours, hours->checkBoxRect(23).center());
    EXPECT_TRUE(filter.CheckDayOfWeek(5));
    EXPECT_FALSE(filter.CheckDayOfWeek(6));
    EXPECT_TRUE(filter.CheckTime(22));
    EXPECT_FALSE(filter.CheckTime(23));
}

TEST_F(CheckListBoxTest, CheckBoxesAreFlat)
{
    // The classic style the main window uses; the lists own their frame
    // and boxes, so only the check box size may change with it.
    const std::unique_ptr<QStyle> classic(QStyleFactory::create(QStringLiteral("Windows")));
    ASSERT_NE(classic, nullptr);
    days->setStyle(classic.get());
    hours->setStyle(classic.get());
    EXPECT_EQ(hours->visualRect(12), QRect(66, 0, 66, 18));
    days->setChecked(1, false);
    hours->setChecked(5, false);
    hours->setChecked(17, false);
    pressAt(days, onText(days, 3));
    pressAt(hours, onText(hours, 14));

    const QImage image = days->viewport()->grab().toImage();
    const QRect box = days->checkBoxRect(1);
    const QPalette& palette = days->palette();
    // A one-pixel frame in the button-shadow colour, then the list's colour.
    EXPECT_EQ(image.pixel(box.topLeft()), palette.color(QPalette::Dark).rgb());
    EXPECT_EQ(image.pixel(box.bottomRight()), palette.color(QPalette::Dark).rgb());
    EXPECT_EQ(image.pixel(box.topLeft() + QPoint(1, 1)), palette.color(QPalette::Base).rgb());

    const QString folder = QStringLiteral(GRIDSHIFT_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    EXPECT_TRUE(days->grab().save(folder + QStringLiteral("/check_list_days.png")));
    EXPECT_TRUE(hours->grab().save(folder + QStringLiteral("/check_list_hours.png")));
}

} // namespace
} // namespace app

#include "app/widgets/directory_edit.h"
#include "progress/form_font.h"

#include "app/widgets/folder_navigator.h"
#include "app/widgets/select_directory_dialog.h"
#include "folder_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

namespace app {
namespace {

class DirectoryEditTest : public testing::FolderTest {
protected:
    void SetUp() override
    {
        FolderTest::SetUp();
        driveC = makeWineDrive('c', makeFolder(QStringLiteral("prefix/drive_c")));
        kalvora = makeFolder(QStringLiteral("prefix/drive_c/Kalvora"));
        sub = makeFolder(QStringLiteral("prefix/drive_c/Kalvora/Sub"));
        makeFolder(QStringLiteral("prefix/drive_c/Kalvora/Archive"));
        elsewhere = makeFolder(QStringLiteral("elsewhere"));
        ASSERT_TRUE(QDir::setCurrent(elsewhere));

        edit = std::make_unique<TDirectoryEdit>();
        edit->setGeometry(100, 100, 453, 21);
        edit->setText(QStringLiteral("C:\\Kalvora"));
        edit->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(edit.get()));
        edit->activateWindow();
        edit->setFocus();
        ASSERT_TRUE(QTest::qWaitForWindowActive(edit.get()));
    }

    void TearDown() override
    {
        edit.reset();
        FolderTest::TearDown();
    }

    SelectDirectoryDialog* clickButton()
    {
        QTest::mouseClick(edit->button(), Qt::LeftButton);
        return waitForDialog();
    }

    SelectDirectoryDialog* waitForDialog()
    {
        const bool shown = QTest::qWaitFor([&] { return edit->dialog() && edit->dialog()->isVisible(); }, 2000);
        return shown ? edit->dialog() : nullptr;
    }

    template <typename T>
    static T* part(SelectDirectoryDialog* dialog, const char* name)
    {
        return dialog->findChild<T*>(QString::fromLatin1(name));
    }

    // Double-clicks the directory list's entry of that name.
    static void doubleClick(SelectDirectoryDialog* dialog, const QString& name)
    {
        auto* list = part<QTreeWidget>(dialog, "DirList");
        const auto items = list->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(items.size(), 1) << name.toStdString();
        const QPoint at = list->visualItemRect(items[0]).center();
        // A widget's double click arrives after the first click's press and
        // release, as it does from the window system.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    // Presses the dialog's button and waits until the field has the result.
    bool close(SelectDirectoryDialog* dialog, const char* button)
    {
        QSignalSpy closed(edit.get(), &TDirectoryEdit::dialogClosed);
        QTest::mouseClick(part<QPushButton>(dialog, button), Qt::LeftButton);
        return closed.count() == 1 || closed.wait(2000);
    }

    QString driveC, kalvora, sub, elsewhere;
    std::unique_ptr<TDirectoryEdit> edit;
};

TEST_F(DirectoryEditTest, ButtonAndAltDownOpenTheDialogAndFocusComesBack)
{
    SelectDirectoryDialog* dialog = clickButton();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(QApplication::activeModalWidget(), dialog);
    EXPECT_EQ(dialog->folder(), kalvora);
    ASSERT_TRUE(close(dialog, "CancelButton"));
    EXPECT_EQ(currentFolder(), kalvora) << "the start folder is made current too";
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }, 2000));

    QTest::keyClick(edit.get(), Qt::Key_Down);
    EXPECT_FALSE(edit->dialog());
    QTest::keyClick(edit.get(), Qt::Key_Down, Qt::AltModifier);
    dialog = waitForDialog();
    ASSERT_TRUE(dialog);
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !edit->dialog() && edit->hasFocus(); }, 2000));
    EXPECT_EQ(edit->text(), QStringLiteral("C:\\Kalvora"));
}

// Centred like every other window: its inside on the screen's centre, the
// frame the window system adds around it left out of the sum.
TEST_F(DirectoryEditTest, DialogIsCentredOnTheScreen)
{
    SelectDirectoryDialog* dialog = clickButton();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    const QRect screen = dialog->screen()->geometry();
    EXPECT_LE((dialog->geometry().center() - screen.center()).manhattanLength(), 1)
        << dialog->geometry().x() << "," << dialog->geometry().y() << " on " << screen.width() << "x"
        << screen.height();
    ASSERT_TRUE(close(dialog, "CancelButton"));
}

TEST_F(DirectoryEditTest, TextAreaStaysClearOfTheButtonInEveryStyle)
{
    edit->setText(QString(200, u'W'));
    for (const QString& name : {QStringLiteral("Windows"), QStringLiteral("Fusion")}) {
        std::unique_ptr<QStyle> style(QStyleFactory::create(name));
        ASSERT_TRUE(style) << name.toStdString();
        edit->setStyle(style.get());
        const QRect button = edit->button()->geometry();
        EXPECT_EQ(button.width(), TDirectoryEdit::kButtonWidth);
        EXPECT_TRUE(edit->rect().adjusted(1, 1, -1, -1).contains(button)) << "inside the frame";

        edit->end(false);
        // The edit scrolls its text when it paints.
        edit->repaint();
        // The caret sits at the middle of the rectangle the edit reports.
        const int caret = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
        EXPECT_LT(caret, button.left()) << name.toStdString();
        edit->setStyle(nullptr);
    }
}

TEST_F(DirectoryEditTest, CancelKeepsTheTextButNotTheCurrentFolder)
{
    edit->setText(QStringLiteral("C:\\Missing"));
    makeFolder(QStringLiteral("elsewhere/Sub"));
    QTest::keyClick(edit.get(), Qt::Key_Down, Qt::AltModifier);
    SelectDirectoryDialog* dialog = waitForDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->folder(), elsewhere);
    EXPECT_EQ(part<QLabel>(dialog, "DirLabel")->text(), elsewhere);

    doubleClick(dialog, QStringLiteral("Sub"));
    EXPECT_EQ(dialog->folder(), elsewhere + QStringLiteral("/Sub"));
    EXPECT_EQ(currentFolder(), elsewhere + QStringLiteral("/Sub"));

    ASSERT_TRUE(close(dialog, "CancelButton"));
    EXPECT_EQ(edit->text(), QStringLiteral("C:\\Missing"));
    EXPECT_EQ(currentFolder(), elsewhere + QStringLiteral("/Sub"));
}

// Enter opens the highlighted folder; "OK" then takes the open folder, not
// one merely highlighted, and an empty text later starts the dialog there.
TEST_F(DirectoryEditTest, OkWritesTheOpenFolderAndRemembersIt)
{
    SelectDirectoryDialog* dialog = clickButton();
    ASSERT_TRUE(dialog);
    auto* list = part<QTreeWidget>(dialog, "DirList");
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->hasFocus(); }, 2000));
    QTest::keyClick(list, Qt::Key_Down); // below Kalvora: Archive, then Sub
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(dialog->folder(), sub);
    QTest::keyClick(list, Qt::Key_Up);
    ASSERT_EQ(list->currentItem()->text(0), QStringLiteral("Kalvora"));
    ASSERT_TRUE(close(dialog, "OKButton"));
    EXPECT_EQ(edit->text(), QStringLiteral("C:\\Kalvora\\Sub"));
    EXPECT_EQ(currentFolder(), sub);

    ASSERT_TRUE(QDir::setCurrent(elsewhere));
    edit->clear();
    dialog = clickButton();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->folder(), sub);
    ASSERT_TRUE(close(dialog, "CancelButton"));
    EXPECT_EQ(edit->text(), QString());
}

// Each drive keeps the folder last opened on it.
TEST_F(DirectoryEditTest, ChoosingADriveOpensItsCurrentFolder)
{
    edit->setText(elsewhere);
    SelectDirectoryDialog* dialog = clickButton();
    ASSERT_TRUE(dialog);
    auto* drives = part<QComboBox>(dialog, "DriveCombo");
    ASSERT_GE(drives->count(), 2);
    ASSERT_EQ(drives->itemText(0), QStringLiteral("c:"));
    EXPECT_EQ(drives->currentText(), QStringLiteral("/"));

    drives->setFocus();
    QTest::keyClick(drives, Qt::Key_Up);
    EXPECT_EQ(dialog->folder(), driveC);
    EXPECT_EQ(currentFolder(), driveC);
    doubleClick(dialog, QStringLiteral("Kalvora"));

    QTest::keyClick(drives, Qt::Key_Down);
    EXPECT_EQ(dialog->folder(), elsewhere);
    QTest::keyClick(drives, Qt::Key_Up);
    EXPECT_EQ(dialog->folder(), kalvora);
    EXPECT_EQ(currentFolder(), kalvora);
    ASSERT_TRUE(close(dialog, "CancelButton"));
}

TEST_F(DirectoryEditTest, LongPathIsShortenedToItsRootAndLastFolders)
{
    edit->setText(makeFolder(QStringLiteral("/Folder_with_a_long_name").repeated(9).mid(1)));
    SelectDirectoryDialog* dialog = clickButton();
    ASSERT_TRUE(dialog);
    auto* label = part<QLabel>(dialog, "DirLabel");
    EXPECT_TRUE(label->text().startsWith(QStringLiteral("/.../"))) << label->text().toStdString();
    EXPECT_TRUE(label->text().endsWith(QStringLiteral("/Folder_with_a_long_name/Folder_with_a_long_name")));
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width());
    ASSERT_TRUE(close(dialog, "CancelButton"));
}

// Pictures of the field and the dialog in the classic look, for a look by eye.
TEST_F(DirectoryEditTest, Screenshots)
{
    for (const char* name : {"AdvBlock.db", "AdvSetBlk.db", "Kalvora.exe"})
        makeFile(QStringLiteral("prefix/drive_c/Kalvora/") + QLatin1String(name));
    // Qt's classic style for the flat 3-D look, for this test only.
    struct StyleGuard {
        QString previous = QApplication::style()->name();
        StyleGuard() { QApplication::setStyle(QStringLiteral("Windows")); }
        ~StyleGuard() { QApplication::setStyle(previous); }
    } classicLook;

    QWidget window;
    window.setFont(progress::formFont());
    window.resize(461, 29);
    auto* field = new TDirectoryEdit(&window);
    field->setGeometry(4, 4, 453, 21);
    field->setText(QStringLiteral("C:\\Kalvora"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const QString folder = QStringLiteral(GRIDSHIFT_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(window.grab().save(folder + QStringLiteral("/directory_edit.png")));
    // The button's picture, eight times as large, to check it pixel by pixel.
    const QPixmap button = field->button()->grab();
    EXPECT_TRUE(button.scaled(button.size() * 8).save(folder + QStringLiteral("/browse_button_x8.png")));

    SelectDirectoryDialog* dialog = field->openDialog();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    EXPECT_TRUE(dialog->grab().save(folder + QStringLiteral("/select_directory.png")));
    dialog->reject();
}

} // namespace
} // namespace app

#include "spinedit/program_spin_edits.h"
#include "spinedit/spin_button.h"
#include "tests/support/qt_printers.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QInputMethodEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace spinedit {
namespace {

using enum TValueType;

// An enabled RxNew that counts its beeps instead of sounding them.
struct Rx {
    Rx() : edit(createRxNew(nullptr))
    {
        edit->setEnabled(true);
        edit->setBeepHook([this] { ++beeps; });
    }
    TRxSpinEdit* operator->() const { return edit.get(); }
    TRxSpinEdit* get() const { return edit.get(); }

    std::unique_ptr<TRxSpinEdit> edit;
    int beeps = 0;
};

template <typename T = QWidget>
T* part(const TRxSpinEdit* editor, const char* name)
{
    return editor->findChild<T*>(QLatin1String(name));
}

void clickHalf(const TRxSpinEdit* editor, TSpinPress half)
{
    QTest::mouseClick(part<TRxSpinButton>(editor, "SpinButton"), Qt::LeftButton, {},
                      half == TSpinPress::spTop ? QPoint(3, 3) : QPoint(14, 14));
}

// A shown window with an editor and a second field to leave to, which has the focus.
struct FocusWindow : QWidget {
    FocusWindow() : editor(createRxNew(this)), other(new QLineEdit(this))
    {
        editor->setEnabled(true);
        other->move(0, 40);
        show();
        activateWindow();
    }
    bool ready()
    {
        if (!QTest::qWaitForWindowActive(this))
            return false;
        other->setFocus();
        return other->hasFocus();
    }
    TRxSpinEdit* editor;
    QLineEdit* other;
};

TEST(SpinEditKeys, ArrowKeysStepOnEveryKeyDownWhileOn)
{
    Rx rx;
    QTest::keyPress(rx.get(), Qt::Key_Up);
    QTest::keyPress(rx.get(), Qt::Key_Up); // held: the key repeats
    QTest::keyRelease(rx.get(), Qt::Key_Up);
    QTest::keyClick(rx.get(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(rx->text(), "5");
    rx->setArrowKeys(false);
    QTest::keyClick(rx.get(), Qt::Key_Up);
    EXPECT_EQ(rx->text(), "5");
}

TEST(SpinEditKeys, TypedCharactersAreFilteredByValueType)
{
    struct Case {
        TValueType type;
        const char* text;
        char typed;
        bool taken;
    };
    for (const Case& c :
         {Case{vtInteger, "12", '-', true}, Case{vtInteger, "12", '+', true}, Case{vtInteger, "12", 'a', false},
          Case{vtInteger, "12", ',', false}, Case{vtInteger, "12", ' ', false}, Case{vtFloat, "12", ',', true},
          Case{vtFloat, "1,5", ',', false}, Case{vtFloat, "12", '.', false}, Case{vtFloat, "1,5", 'e', true},
          Case{vtFloat, "1e5", 'E', false}, Case{vtHex, "1F", 'a', true}, Case{vtHex, "1F", 'g', false},
          Case{vtTime, "03:10", ':', true}, Case{vtTime, "03:10", '.', true}, Case{vtTime, "03:10", 'e', false}}) {
        Rx rx;
        rx->model().setDecimalSeparator(',');
        rx->setValueType(c.type);
        rx->setText(c.text);
        QTest::keyClick(rx.get(), c.typed);
        EXPECT_EQ(rx->text(), c.taken ? QString(c.text) + QLatin1Char(c.typed) : QString(c.text)) << c.typed;
        EXPECT_EQ(rx.beeps, c.taken ? 0 : 1) << c.text << " + " << c.typed;
    }
    // A shortcut is no typing; an input method's text is filtered too.
    Rx rx;
    QTest::keyClick(rx.get(), Qt::Key_A, Qt::ControlModifier);
    for (const char* committed : {"x", "7"}) {
        QInputMethodEvent input;
        input.setCommitString(QString::fromLatin1(committed));
        QCoreApplication::sendEvent(rx.get(), &input);
    }
    EXPECT_EQ(rx->text(), "7");
    EXPECT_EQ(rx.beeps, 1);
}

TEST(SpinEditKeys, EditorDisabledRefusesEditingButStillSteps)
{
    Rx rx;
    rx->setText(QStringLiteral("20"));
    rx->setEditorEnabled(false);
    QApplication::clipboard()->setText(QStringLiteral("4x"));
    QTest::keyClicks(rx.get(), "5a");
    QTest::keyClick(rx.get(), Qt::Key_Backspace);
    EXPECT_EQ(rx.beeps, 3);
    QTest::keyClick(rx.get(), Qt::Key_V, Qt::ControlModifier);
    rx->selectAll();
    QTest::keyClick(rx.get(), Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(rx.get(), Qt::Key_Delete);
    QTest::keyClick(rx.get(), Qt::Key_Up);
    clickHalf(rx.get(), TSpinPress::spTop);
    EXPECT_EQ(rx->text(), "30");
    EXPECT_EQ(QApplication::clipboard()->text(), "4x");

    rx->setEditorEnabled(true);
    rx->selectAll();
    QTest::keyClick(rx.get(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(rx->text(), "4x") << "pasted text is not filtered";
    EXPECT_EQ(rx.beeps, 3);
}

TEST(SpinEditKeys, ReadOnlyBeepsOnEveryStepAndChangesNothing)
{
    Rx rx;
    rx->setReadOnly(true);
    QSignalSpy tops(rx.get(), &TRxSpinEdit::OnTopClick);
    QSignalSpy changes(rx.get(), &TRxSpinEdit::OnChange);
    QTest::keyClick(rx.get(), Qt::Key_Up);
    clickHalf(rx.get(), TSpinPress::spBottom);
    rx->setButtonKind(TSpinButtonKind::bkStandard);
    QTest::mouseClick(part<QToolButton>(rx.get(), "UpArrow"), Qt::LeftButton);
    QTest::keyClicks(rx.get(), "5");
    EXPECT_EQ(rx.beeps, 3);
    EXPECT_EQ(rx->text(), "0");
    EXPECT_EQ(tops.count() + changes.count(), 0);
}

TEST(SpinEditKeys, EnterAndEscapeGoToTheWindowButtons)
{
    QDialog dialog;
    auto* editor = new TRxSpinEdit(&dialog);
    auto* ok = new QPushButton(&dialog);
    ok->setDefault(true);
    QSignalSpy okClicked(ok, &QPushButton::clicked);
    QSignalSpy returned(editor, &QLineEdit::returnPressed);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(okClicked.count(), 1);
    EXPECT_EQ(returned.count(), 0) << "Enter does not reach the edit";
    EXPECT_EQ(rejected.count(), 1);

    // A plain window has a default button but no cancel action.
    QWidget window;
    auto* plainEditor = new TRxSpinEdit(&window);
    auto* apply = new QPushButton(&window);
    apply->setDefault(true);
    QSignalSpy applied(apply, &QPushButton::clicked);
    window.show();
    QTest::keyClick(plainEditor, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(applied.count(), 1);
}

TEST(SpinEditFocus, LeavingRewritesANumberBeyondABound)
{
    FocusWindow w;
    ASSERT_TRUE(w.ready());
    struct Case {
        const char* typed;
        const char* left;
    };
    // "-" and "" read as MinValue, which lies within the bounds.
    for (const Case& c : {Case{"75", "59"}, Case{"-5", "0"}, Case{"42", "42"}, Case{"-", "-"}, Case{"", ""}}) {
        w.editor->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w.editor, Qt::Key_Delete);
        QSignalSpy changes(w.editor, &TRxSpinEdit::OnChange);
        QTest::keyClicks(w.editor, c.typed);
        EXPECT_EQ(w.editor->Value(), QByteArray(c.typed).toInt());
        w.other->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(w.editor->text(), c.left) << c.typed;
        EXPECT_EQ(changes.count(), qsizetype(qstrlen(c.typed)) + (qstrcmp(c.typed, c.left) ? 1 : 0)) << c.typed;
    }
}

TEST(SpinEditFocus, EnteringSelectsAllUnlessTheTextIsClicked)
{
    FocusWindow w;
    ASSERT_TRUE(w.ready());
    w.editor->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(w.editor->selectedText(), "0");
    w.other->setFocus();
    QTest::mouseClick(w.editor, Qt::LeftButton, {}, QPoint(8, 10));
    EXPECT_TRUE(w.editor->hasFocus() && !w.editor->hasSelectedText());

    // Through the button part; the step keeps the whole text selected.
    w.other->setFocus();
    clickHalf(w.editor, TSpinPress::spTop);
    EXPECT_EQ(w.editor->selectedText(), "5");
    QTest::keyClicks(w.editor, "3");
    EXPECT_EQ(w.editor->text(), "3");

    w.other->setFocus();
    w.editor->setAutoSelect(false);
    w.editor->setFocus(Qt::OtherFocusReason);
    EXPECT_FALSE(w.editor->hasSelectedText());
}

TEST(SpinEditChange, OnChangeForEveryTextChangeButOncePerStep)
{
    TRxSpinEdit editor;
    std::vector<QString> seen; // the text, with * when modified
    QObject::connect(&editor, &TRxSpinEdit::OnChange,
                     [&] { seen.push_back(editor.text() + (editor.Modified() ? "*" : "")); });
    editor.setValue(7);
    QTest::keyClicks(&editor, "3");
    editor.setModified(false);
    editor.StepUp();
    editor.setIncrement(0);
    editor.StepUp();
    editor.setText(QStringLiteral("12"));
    EXPECT_EQ(seen, (std::vector<QString>{"7", "73*", "74*", "12*"}));
}

TEST(SpinEditSize, NeverLowerThanItsMinimumHeight)
{
    TRxSpinEdit editor;
    editor.resize(73, 4);
    EXPECT_EQ(editor.height(), editor.fontMetrics().height() + 5);
    QFont large = editor.font();
    large.setPixelSize(40);
    editor.setFont(large);
    EXPECT_EQ(editor.height(), editor.MinimumHeight());
    EXPECT_EQ(part(&editor, "SpinButton")->size(), QSize(editor.height() - 3, editor.height() - 3));
}

TEST(SpinEditSize, ProgramEditorsKeepTheirHeightAndAnEighteenPixelButton)
{
    QWidget window;
    QFont font = window.font();
    font.setPixelSize(11); // text 13 pixels high
    window.setFont(font);
    TRxSpinEdit* rxNew = createRxNew(&window);
    TRxSpinEdit* rxNewSize = createRXNewSize(&window);
    EXPECT_EQ(rxNew->text(), "0");
    EXPECT_EQ(rxNewSize->text(), "03:10");
    for (TRxSpinEdit* editor : {rxNew, rxNewSize}) {
        ASSERT_LE(editor->MinimumHeight(), 21);
        EXPECT_EQ(editor->size(), QSize(73, 21));
        EXPECT_EQ(part(editor, "ButtonHolder")->geometry(), QRect(53, 1, 18, 18));
        EXPECT_EQ(part(editor, "SpinButton")->size(), QSize(18, 18));
        EXPECT_FALSE(editor->isEnabled());
    }
    clickHalf(rxNewSize, TSpinPress::spTop);
    EXPECT_EQ(rxNewSize->text(), "03:10") << "a disabled editor's button does nothing";
    rxNewSize->setEnabled(true);
    clickHalf(rxNewSize, TSpinPress::spTop);
    EXPECT_EQ(rxNewSize->text(), "03:15");
}

TEST(SpinEditButtonPart, PlacedAtTheEndAwayFromWhereTheTextStarts)
{
    struct Case {
        bool frame;
        Qt::LayoutDirection direction;
        QRect holder;
        QMargins text;
    };
    for (const Case& c : {Case{true, Qt::LeftToRight, {53, 1, 18, 18}, {0, 0, 20, 0}},
                          Case{true, Qt::RightToLeft, {1, 1, 18, 18}, {19, 0, 1, 0}},
                          Case{false, Qt::LeftToRight, {52, 0, 21, 21}, {0, 0, 23, 0}},
                          Case{false, Qt::RightToLeft, {0, 0, 21, 21}, {22, 0, 1, 0}}}) {
        TRxSpinEdit editor;
        editor.resize(73, 21);
        editor.setFrame(c.frame);
        editor.setLayoutDirection(c.direction);
        EXPECT_EQ(part(&editor, "ButtonHolder")->geometry(), c.holder) << c.frame << c.direction;
        EXPECT_EQ(editor.textMargins(), c.text) << c.frame << c.direction;
        const Qt::Alignment shown = static_cast<QLineEdit&>(editor).alignment() & (Qt::AlignLeft | Qt::AlignRight);
        EXPECT_EQ(shown, c.direction == Qt::LeftToRight ? Qt::AlignLeft : Qt::AlignRight);
    }

    TRxSpinEdit editor;
    editor.resize(73, 21);
    editor.setButtonKind(TSpinButtonKind::bkStandard);
    const int arrows = editor.StandardButtonWidth();
    EXPECT_LE(arrows, 15);
    EXPECT_EQ(part(&editor, "UpDown")->geometry(), QRect(71 - arrows, 2, arrows, 17));
    EXPECT_EQ(editor.textMargins(), QMargins(0, 0, arrows + 2, 0));
}

} // namespace
} // namespace spinedit

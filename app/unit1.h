#pragma once

#include "app/form/form1.h"
#include "progress/window_progress_sink.h"

#include <QWidget>

#include <memory>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace spinedit {
class TRxSpinEdit;
}

namespace app {

class Prompter;
class TCheckListBox;
class TDirectoryEdit;

// The program's one window: pick the database folder and load its minutes,
// tick days and hours, pick the minute to move and where to, and shift.
//
// The controls and their events; what the handlers do is Form1's. Message
// boxes go through the Prompter it was given.
class TForm1 : public QWidget, private Form1View {
    Q_OBJECT
    // First, so that the data sets below can refer into it.
    Form1 m_form{*this};

public:
    // `prompter` shows the message boxes; the screen's when null. The window
    // keeps it, unowned, for its lifetime.
    explicit TForm1(Prompter* prompter = nullptr, QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, in the layout's order; owned by the window.
    TDirectoryEdit* DEBase;
    QLabel* Label1;
    QPushButton* BtnLoad;
    QFrame* Panel1;
    QPlainTextEdit* Memo1;
    QListWidget* LbTimes;
    spinedit::TRxSpinEdit* RxNew;
    QLineEdit* EOldTime;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    spinedit::TRxSpinEdit* RXNewSize;
    grid::TableDataSet& Table1 = m_form.Table1;
    grid::QueryDataSet& Query1 = m_form.Query1;
    TCheckListBox* CBHour;
    TCheckListBox* CBDays;
    QPushButton* BtnMove;
    // The form's context menu (a right click on its background) and its one
    // item, which Ctrl+Z anywhere in the window also chooses (but in a field
    // being typed into, where Ctrl+Z undoes the typing).
    QMenu* PopupMenu1;
    QAction* MenuUndo;

    // The folder prefix, the minutes and the selected minute.
    grid::Engine& engine() { return m_form.engine(); }

    void BtnLoadClick();
    void FormCreate();
    void LbTimesClick();
    void RxNewChange();
    void BtnMoveClick();
    void UndoClick();

    bool CheckDayOfWeek(int index) const;
    bool CheckTime(int index) const;
    int GetDOW(paradox::DateTime date) const;

protected:
    // Also sees the whole program's events, to keep the user's input from
    // the window's controls while a load or a shift runs.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void createControls();
    void placeControls();

    std::string folderText() const override;
    void clearMinuteList() override;
    void addMinute(const std::string& text) override;
    void selectMinute(int row) override;
    int selectedMinute() const override;
    void setOldTimeText(const std::string& text) override;
    spinedit::SpinValue& newMinute() override;
    spinedit::SpinValue& newSize() override;
    void setNewMinuteEnabled(bool enabled) override;
    void setNewSizeEnabled(bool enabled) override;
    void setMoveEnabled(bool enabled) override;
    void setUndoEnabled(bool enabled) override;
    CheckListView& days() override { return *m_dayTicks; }
    CheckListView& hours() override { return *m_hourTicks; }
    void showError(const std::string& message) override;
    void showNotice(const std::string& message) override;
    bool confirm(const std::string& text) override;
    grid::ProgressSink& progress() override { return m_progress; }

    std::unique_ptr<Prompter> m_ownPrompter;
    Prompter* m_prompter;
    std::unique_ptr<CheckListView> m_dayTicks;
    std::unique_ptr<CheckListView> m_hourTicks;
    progress::WindowProgressSink m_progress;
    double m_scale = 1.0;
    bool m_rowChangedByPress = false;
    bool m_centred = false;
};

} // namespace app

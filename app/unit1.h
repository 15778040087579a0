#pragma once

#include "grid/data_set.h"
#include "grid/engine.h"
#include "grid/filters.h"
#include "grid/shift.h"

#include <QWidget>

#include <memory>

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
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
// It is also the load's and the shift's view of the user: message boxes go
// through the Prompter it was given, the minute list is LbTimes.
class TForm1 : public QWidget, private grid::ShiftView {
    Q_OBJECT

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
    grid::TableDataSet Table1{"Table1"};
    grid::QueryDataSet Query1{"Query1"};
    TCheckListBox* CBHour;
    TCheckListBox* CBDays;
    QPushButton* BtnMove;

    // The folder prefix, the minutes and the selected minute.
    grid::Engine& engine() { return m_engine; }

    void BtnLoadClick();
    void FormCreate();
    void LbTimesClick();
    void RxNewChange();
    void BtnMoveClick();

    bool CheckDayOfWeek(int index) const;
    bool CheckTime(int index) const;
    int GetDOW(paradox::DateTime date) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void placeControls();

    // What the load and the shift ask of the window.
    void showError(const std::string& message) override;
    void showNotice(const std::string& message) override;
    bool confirm(const std::string& text) override;
    void clearMinuteList() override;
    void addMinute(const std::string& text) override;
    void selectFirstMinute() override;

    grid::Engine m_engine;
    std::unique_ptr<Prompter> m_ownPrompter;
    Prompter* m_prompter;
    std::unique_ptr<grid::TickList> m_dayTicks;
    std::unique_ptr<grid::TickList> m_hourTicks;
    std::unique_ptr<grid::DayHourFilter> m_filter;
    double m_scale = 1.0;
    bool m_rowChangedByPress = false;
    bool m_centred = false;
};

} // namespace app

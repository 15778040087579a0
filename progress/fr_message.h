#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QCloseEvent;
class QLabel;
class QPushButton;
class QTimer;

namespace progress {

class Gauge;

// The stay-on-top window that shows how far a long operation has got: a bold
// heading and a percentage bar. ReportProgress creates, updates and closes
// it; nothing else should.
//
// The window frees itself when closed, but only once pending messages are
// next handled, so a closed window stays on screen, unchanged, until then.
class TF_Message : public QWidget {
    Q_OBJECT

public:
    TF_Message();
    ~TF_Message() override;

    // Controls, owned by the window.
    QWidget* Panel1;
    QLabel* LabMess;
    Gauge* MsgProcent;
    QLabel* Label2;
    QTimer* Timer1;
    QPushButton* BtnOK;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void BtnOKClick();

    bool m_closed = false;
};

// True from the creation of a window until that window is closed; the only
// record of whether a usable window exists.
extern bool MessageFormOpen;
// The window last created. Null once that window has been destroyed.
extern QPointer<TF_Message> F_Message;

// Shows progress in the window, creating it when none is open.
//
// Non-empty text replaces the heading; empty text keeps it. A percent of 0 or
// more is cut to a whole number and shown on the bar, clamped to 0..100; a
// negative percent with a text hides the bar. Every report that shows the
// window then handles all pending messages, so the program's windows stay
// painted and live, and pauses 10 ms. A report with empty text and a negative
// percent closes the window instead.
//
// Throws RangeError when the whole part of the percent does not fit a 32-bit
// signed integer.
void ReportProgress(const QString& text, double percent);

// Handles every pending message of the program, including the release of
// closed windows. ReportProgress's default message handling.
void processPendingMessages();

// Replace what a report does to handle messages and to pause (for tests); an
// empty function restores the default.
void setMessagePump(std::function<void()> pump);
void setReportPause(std::function<void()> pause);

} // namespace progress

#include "progress/fr_message.h"

#include "progress/form_font.h"
#include "progress/gauge.h"
#include "progress/report_progress.h"

#include <QAbstractEventDispatcher>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <chrono>
#include <thread>
#include <utility>

namespace progress {

bool MessageFormOpen = false;
QPointer<TF_Message> F_Message;

namespace {

// A pass of message handling may post more work (a show posts its repaint, a
// close its release); a timer that is always due must not hold a report for
// ever, hence the cap.
constexpr int kMaxMessagePasses = 64;

std::function<void()> g_pump;
std::function<void()> g_pause;

QFont boldFont()
{
    QFont font = formFont();
    font.setBold(true);
    return font;
}

void drawBevel(QPainter& painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight)
{
    painter.setPen(topLeft);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
}

// Button-face panel with a single border, a raised outer and a lowered inner
// bevel, one pixel each.
class BevelPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QPalette& pal = palette();
        QRect r = rect();
        painter.fillRect(r, pal.color(QPalette::Button));
        painter.setPen(pal.color(QPalette::Shadow));
        painter.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
        drawBevel(painter, r, pal.color(QPalette::Light), pal.color(QPalette::Dark));
        r.adjust(1, 1, -1, -1);
        drawBevel(painter, r, pal.color(QPalette::Dark), pal.color(QPalette::Light));
    }
};

QRect rectOf(const Place& place)
{
    return {place.left, place.top, place.width, place.height};
}

QLabel* makeLabel(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    // Headings come from callers and are shown as they are, never as markup.
    label->setTextFormat(Qt::PlainText);
    return label;
}

// The Qt windows behind the reports: F_Message and MessageFormOpen.
class QtProgressWindows final : public ProgressWindows {
public:
    bool isOpen() const override { return MessageFormOpen && F_Message; }
    void create() override { F_Message = new TF_Message; }
    void setHeading(const std::string& text) override { F_Message->LabMess->setText(QString::fromStdString(text)); }
    void showBar(int percent) override
    {
        F_Message->MsgProcent->show();
        F_Message->MsgProcent->setProgress(percent);
    }
    void hideBar() override
    {
        F_Message->MsgProcent->hide();
        F_Message->MsgProcent->setProgress(0);
    }
    void show() override
    {
        F_Message->show();
        F_Message->raise();
    }
    void handleMessages() override
    {
        if (g_pump)
            g_pump();
        else
            processPendingMessages();
    }
    void pause() override
    {
        if (g_pause)
            g_pause();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    void close() override { F_Message->close(); }
};

} // namespace

TF_Message::TF_Message()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("F_Message"));
    setWindowTitle(QString::fromUtf8(kCaption));
    // Closing the progress window must never end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(formFont());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(128, 128, 128));
    setPalette(pal);
    setAutoFillBackground(true);

    Panel1 = new BevelPanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(rect());

    LabMess = makeLabel(Panel1, "LabMess", rectOf(kLabMess));
    LabMess->setFont(boldFont());
    LabMess->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    MsgProcent = new Gauge(Panel1);
    MsgProcent->setObjectName(QStringLiteral("MsgProcent"));
    MsgProcent->setGeometry(rectOf(kMsgProcent));
    MsgProcent->setFont(boldFont());

    Label2 = makeLabel(Panel1, "Label2", rectOf(kLabel2));
    Label2->setText(QString::fromUtf8(kLabel2Caption));
    Label2->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));

    BtnOK = new QPushButton(QStringLiteral("OK"), Panel1);
    BtnOK->setObjectName(QStringLiteral("BtnOK"));
    BtnOK->setGeometry(rectOf(kBtnOK));
    BtnOK->hide();
    connect(BtnOK, &QPushButton::clicked, this, &TF_Message::BtnOKClick);

    // The client area is centred: the frame's size is known only once the
    // window system has shown the window.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->geometry()));

    FormCreate();
}

TF_Message::~TF_Message()
{
    // Destroyed while still open (the program ending mid-work): the flag must
    // not promise a window that is gone.
    if (F_Message == this && !m_closed)
        MessageFormOpen = false;
}

void TF_Message::closeEvent(QCloseEvent* event)
{
    // Accepting would hide the window at once; it is to stay as it is until
    // its release is handled with the next messages.
    event->ignore();
    // A window already released may be closed again before it goes; that
    // must not mark a newer window as closed.
    if (m_closed)
        return;
    m_closed = true;
    FormClose();
}

void TF_Message::FormCreate()
{
    MessageFormOpen = true;
}

void TF_Message::FormClose()
{
    MessageFormOpen = false;
    deleteLater();
}

void TF_Message::BtnOKClick()
{
    hide();
}

void ReportProgress(const QString& text, double percent)
{
    QtProgressWindows windows;
    reportProgress(windows, text.toStdString(), percent);
}

void processPendingMessages()
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher)
        return;
    // Posted events include the release of closed windows; Qt holds back
    // only those whose deleter is still running further up the stack.
    for (int pass = 0; pass < kMaxMessagePasses; ++pass) {
        QCoreApplication::sendPostedEvents();
        if (!dispatcher->processEvents(QEventLoop::AllEvents))
            break;
    }
}

void setMessagePump(std::function<void()> pump)
{
    g_pump = std::move(pump);
}

void setReportPause(std::function<void()> pause)
{
    g_pause = std::move(pause);
}

} // namespace progress

#include "app/unit1.h"

#include "app/widgets/bit_btn.h"
#include "app/widgets/check_list_box.h"
#include "app/widgets/directory_edit.h"
#include "progress/form_font.h"
#include "app/widgets/pictures.h"
#include "app/widgets/prompter.h"
#include "progress/window_progress_sink.h"
#include "spinedit/program_spin_edits.h"
#include "spinedit/spin_edit.h"

#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>

#include <cmath>
#include <cstdio>
#include <tuple>

namespace app {
namespace {

constexpr int kClientWidth = 457;
constexpr int kClientHeight = 509;

const char* const kHelpLines[] = {
    "Ход выполнения:",
    "1. Укажите папку с базами Kalvora и нажмите \"загрузить\".",
    "2. Укажите необходимые часы и дни, которых будет касаться перемещение.",
    "3. Далее выделяете перемещаемую минуту и указываете новую минуту.",
    "4. Нажимаете \"перенести данные\".",
    "5. Переходите к п. 2",
    "",
};

QString fromUtf8(const std::string& s)
{
    // The operations break lines with a carriage return, as the message boxes expect.
    return QString::fromStdString(s);
}

} // namespace

TForm1::TForm1(Prompter* prompter, QWidget* parent) : QWidget(parent), m_prompter(prompter)
{
    if (!m_prompter) {
        m_ownPrompter = std::make_unique<ScreenPrompter>(this);
        m_prompter = m_ownPrompter.get();
    }
    setObjectName("Form1");
    setWindowTitle(QString::fromUtf8("Утилита изменения рекламной сетки."));
    // A fixed dialog frame: no minimise or maximise, a system menu and close box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setFont(progress::formFont());
    // Sizes are pixels at 96 dots per inch; other screens scale them.
    m_scale = logicalDpiY() > 0 ? logicalDpiY() / 96.0 : 1.0;

    createControls();
    placeControls();
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::createControls()
{
    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);

    Memo1 = new QPlainTextEdit(Panel1);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setFrameStyle(QFrame::NoFrame);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setBackgroundRole(QPalette::Button);
    {
        QPalette p = Memo1->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Button));
        Memo1->setPalette(p);
    }
    QStringList lines;
    for (const char* line : kHelpLines)
        lines << QString::fromUtf8(line);
    Memo1->setPlainText(lines.join('\n'));

    Label1 = new QLabel(QString::fromUtf8("Папка с базами"), this);
    Label1->setObjectName("Label1");

    DEBase = new TDirectoryEdit(this);
    DEBase->setObjectName("DEBase");
    DEBase->setText("C:\\Kalvora");

    BtnLoad = new QPushButton(QString::fromUtf8("Загрузить рекламную сетку"), this);
    BtnLoad->setObjectName("BtnLoad");
    BtnLoad->setCursor(Qt::PointingHandCursor);
    BtnLoad->setAutoDefault(false);
    connect(BtnLoad, &QPushButton::clicked, this, &TForm1::BtnLoadClick);

    CBDays = new TCheckListBox(this);
    CBDays->setObjectName("CBDays");
    CBDays->setRowHeight(31);
    for (const char* day : grid::kDayNames)
        CBDays->addItem(QString::fromUtf8(day));

    CBHour = new TCheckListBox(this);
    CBHour->setObjectName("CBHour");
    CBHour->setRowHeight(18);
    CBHour->setColumns(2);

    LbTimes = new QListWidget(this);
    LbTimes->setObjectName("LbTimes");
    LbTimes->setSelectionMode(QAbstractItemView::SingleSelection);
    LbTimes->setCursor(Qt::PointingHandCursor);
    LbTimes->setUniformItemSizes(true);
    LbTimes->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    LbTimes->viewport()->installEventFilter(this);
    // A selection by the user, with the mouse or the keyboard, is a click on
    // the list; so is a click on the item already selected.
    connect(LbTimes, &QListWidget::currentRowChanged, this, [this](int) {
        m_rowChangedByPress = true;
        LbTimesClick();
    });
    connect(LbTimes, &QListWidget::itemClicked, this, [this](QListWidgetItem*) {
        if (!m_rowChangedByPress)
            LbTimesClick();
    });

    Label2 = new QLabel(QString::fromUtf8("Выделенная минута"), this);
    Label2->setObjectName("Label2");
    EOldTime = new QLineEdit(this);
    EOldTime->setObjectName("EOldTime");
    EOldTime->setReadOnly(true);
    {
        QPalette p = EOldTime->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Button));
        EOldTime->setPalette(p);
    }
    Label3 = new QLabel(QString::fromUtf8("Перенести на минуту"), this);
    Label3->setObjectName("Label3");
    RxNew = spinedit::createRxNew(this);
    connect(RxNew, &spinedit::TRxSpinEdit::OnChange, this, &TForm1::RxNewChange);
    Label4 = new QLabel(QString::fromUtf8("Новый размер блока"), this);
    Label4->setObjectName("Label4");
    RXNewSize = spinedit::createRXNewSize(this);

    auto* move = new TBitBtn(this);
    move->setObjectName("BtnMove");
    move->setText(QString::fromUtf8("Перенести данные"));
    move->setGlyphs(moveTick(), moveTickDisabled());
    connect(move, &QPushButton::clicked, this, &TForm1::BtnMoveClick);
    BtnMove = move;

    m_dayTicks = std::make_unique<CheckListTicks>(*CBDays);
    m_hourTicks = std::make_unique<CheckListTicks>(*CBHour);
    m_filter = std::make_unique<grid::DayHourFilter>(*m_dayTicks, *m_hourTicks);

    // The layout's tab order; labels take no focus and disabled controls are skipped.
    QWidget* order[] = {DEBase, BtnLoad, Memo1, LbTimes, RxNew, EOldTime, RXNewSize, CBHour, CBDays, BtnMove};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void TForm1::placeControls()
{
    auto at = [this](QWidget* w, int x, int y, int width, int height) {
        const auto s = [this](int v) { return static_cast<int>(std::lround(v * m_scale)); };
        w->setGeometry(s(x), s(y), s(width), s(height));
    };
    setFixedSize(static_cast<int>(std::lround(kClientWidth * m_scale)),
                 static_cast<int>(std::lround(kClientHeight * m_scale)));
    at(Panel1, 0, 0, 457, 185);
    at(Memo1, 1, 1, 455, 183);
    // Labels take the size of their text.
    for (auto [label, x, y] : {std::tuple{Label1, 4, 196}, std::tuple{Label2, 330, 284},
                               std::tuple{Label3, 330, 330}, std::tuple{Label4, 330, 376}}) {
        label->adjustSize();
        label->move(static_cast<int>(std::lround(x * m_scale)), static_cast<int>(std::lround(y * m_scale)));
    }
    at(DEBase, 4, 212, 453, 21);
    at(BtnLoad, 112, 240, 193, 33);
    at(CBDays, 3, 281, 110, 225);
    at(CBHour, 116, 281, 137, 225);
    at(LbTimes, 256, 281, 65, 225);
    at(EOldTime, 330, 303, 69, 21);
    at(RxNew, 330, 347, 73, 21);
    at(RXNewSize, 330, 392, 73, 21);
    at(BtnMove, 331, 423, 120, 74);
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    DEBase->setFocus(Qt::OtherFocusReason);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    // A new press starts a new click on the minute list.
    if (watched == LbTimes->viewport() && event->type() == QEvent::MouseButtonPress)
        m_rowChangedByPress = false;
    return QWidget::eventFilter(watched, event);
}

void TForm1::FormCreate()
{
    RXNewSize->setValue(3.0 / 1440);
    CBHour->clear();
    for (int i = 0; i < CBDays->count(); ++i)
        CBDays->setChecked(i, true);
    for (int i = 0; i < 24; ++i) {
        CBHour->addItem(QString::fromStdString(grid::hourItemText(i)));
        CBHour->setChecked(i, true);
    }
}

void TForm1::BtnLoadClick()
{
    progress::WindowProgressSink sink;
    grid::loadMinutes(m_engine, DEBase->text().toStdString(), Query1, sink, *this);
}

void TForm1::LbTimesClick()
{
    bool selected = false;
    const int row = LbTimes->currentRow();
    if (row >= 0 && static_cast<std::size_t>(row) < m_engine.Minutes.size()) {
        selected = true;
        m_engine.OldMinute = m_engine.Minutes[static_cast<std::size_t>(row)];
        char text[16];
        std::snprintf(text, sizeof text, "%2.2d", m_engine.OldMinute);
        EOldTime->setText(QString::fromLatin1(text));
        RxNew->setValue(m_engine.OldMinute);
    }
    RxNew->setEnabled(selected);
    RXNewSize->setEnabled(selected);
}

void TForm1::RxNewChange()
{
    BtnMove->setEnabled(!RxNew->text().isEmpty());
}

void TForm1::BtnMoveClick()
{
    progress::WindowProgressSink sink;
    grid::ShiftInputs inputs;
    inputs.newMinute = RxNew->Value();
    inputs.blockSize = [this] { return RXNewSize->Value(); };
    inputs.folderText = [this] { return DEBase->text().toStdString(); };
    grid::shiftMinute(m_engine, inputs, *m_filter, Table1, Query1, sink, *this);
}

bool TForm1::CheckDayOfWeek(int index) const
{
    return m_filter->CheckDayOfWeek(index);
}

bool TForm1::CheckTime(int index) const
{
    return m_filter->CheckTime(index);
}

int TForm1::GetDOW(paradox::DateTime date) const
{
    return grid::GetDOW(date);
}

void TForm1::showError(const std::string& message)
{
    m_prompter->error(fromUtf8(message));
}

void TForm1::showNotice(const std::string& message)
{
    m_prompter->inform(fromUtf8(message));
}

bool TForm1::confirm(const std::string& text)
{
    return m_prompter->confirm(fromUtf8(text));
}

void TForm1::clearMinuteList()
{
    const QSignalBlocker quiet(LbTimes);
    LbTimes->clear();
}

void TForm1::addMinute(const std::string& text)
{
    auto* item = new QListWidgetItem(QString::fromStdString(text));
    item->setSizeHint(QSize(0, static_cast<int>(std::lround(13 * m_scale))));
    LbTimes->addItem(item);
}

void TForm1::selectFirstMinute()
{
    {
        const QSignalBlocker quiet(LbTimes);
        LbTimes->setCurrentRow(0);
    }
    LbTimesClick();
}

} // namespace app

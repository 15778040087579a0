#include "app/unit1.h"

#include "app/form/layout.h"
#include "app/widgets/bit_btn.h"
#include "app/widgets/check_list_box.h"
#include "app/widgets/directory_edit.h"
#include "progress/form_font.h"
#include "app/widgets/pictures.h"
#include "app/widgets/prompter.h"
#include "spinedit/program_spin_edits.h"
#include "spinedit/spin_edit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>

#include <cmath>
#include <utility>

namespace app {

TForm1::TForm1(Prompter* prompter, QWidget* parent) : QWidget(parent), m_prompter(prompter)
{
    if (!m_prompter) {
        m_ownPrompter = std::make_unique<ScreenPrompter>(this);
        m_prompter = m_ownPrompter.get();
    }
    setObjectName("Form1");
    setWindowTitle(QString::fromUtf8(layout::kCaption));
    // A fixed dialog frame: no minimise or maximise, a system menu and close box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setFont(progress::formFont());
    // Sizes are pixels at 96 dots per inch; other screens scale them.
    m_scale = logicalDpiY() > 0 ? logicalDpiY() / double(layout::kDpi) : 1.0;

    createControls();
    placeControls();
    FormCreate();
    qApp->installEventFilter(this);
}

TForm1::~TForm1()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

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
    for (const char* line : layout::kHelpLines)
        lines << QString::fromUtf8(line);
    Memo1->setPlainText(lines.join('\n'));

    Label1 = new QLabel(QString::fromUtf8(layout::kLabel1.text), this);
    Label1->setObjectName("Label1");

    DEBase = new TDirectoryEdit(this);
    DEBase->setObjectName("DEBase");
    DEBase->setText(QString::fromUtf8(layout::kDefaultFolder));

    BtnLoad = new QPushButton(QString::fromUtf8(layout::kBtnLoadCaption), this);
    BtnLoad->setObjectName("BtnLoad");
    BtnLoad->setCursor(Qt::PointingHandCursor);
    BtnLoad->setAutoDefault(false);
    connect(BtnLoad, &QPushButton::clicked, this, &TForm1::BtnLoadClick);

    CBDays = new TCheckListBox(this);
    CBDays->setObjectName("CBDays");
    CBDays->setRowHeight(layout::kDayRowHeight);
    for (const char* day : grid::kDayNames)
        CBDays->addItem(QString::fromUtf8(day));

    CBHour = new TCheckListBox(this);
    CBHour->setObjectName("CBHour");
    CBHour->setRowHeight(layout::kHourRowHeight);
    CBHour->setColumns(layout::kHourColumns);

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

    Label2 = new QLabel(QString::fromUtf8(layout::kLabel2.text), this);
    Label2->setObjectName("Label2");
    EOldTime = new QLineEdit(this);
    EOldTime->setObjectName("EOldTime");
    EOldTime->setReadOnly(true);
    {
        QPalette p = EOldTime->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Button));
        EOldTime->setPalette(p);
    }
    Label3 = new QLabel(QString::fromUtf8(layout::kLabel3.text), this);
    Label3->setObjectName("Label3");
    RxNew = spinedit::createRxNew(this);
    connect(RxNew, &spinedit::TRxSpinEdit::OnChange, this, &TForm1::RxNewChange);
    Label4 = new QLabel(QString::fromUtf8(layout::kLabel4.text), this);
    Label4->setObjectName("Label4");
    RXNewSize = spinedit::createRXNewSize(this);

    auto* move = new TBitBtn(this);
    move->setObjectName("BtnMove");
    move->setText(QString::fromUtf8(layout::kBtnMoveCaption));
    move->setGlyphs(moveTick(), moveTickDisabled());
    connect(move, &QPushButton::clicked, this, &TForm1::BtnMoveClick);
    BtnMove = move;

    MenuUndo = new QAction(QString::fromUtf8(layout::kMenuUndoCaption), this);
    MenuUndo->setObjectName("MenuUndo");
    MenuUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    MenuUndo->setShortcutContext(Qt::WindowShortcut);
    MenuUndo->setEnabled(false);
    connect(MenuUndo, &QAction::triggered, this, &TForm1::UndoClick);
    addAction(MenuUndo);
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    PopupMenu1->addAction(MenuUndo);

    m_dayTicks = std::make_unique<CheckListTicks>(*CBDays);
    m_hourTicks = std::make_unique<CheckListTicks>(*CBHour);

    // The layout's tab order; labels take no focus and disabled controls are skipped.
    const auto control = [this](layout::Control c) -> QWidget* {
        switch (c) {
        case layout::Control::DEBase:
            return DEBase;
        case layout::Control::BtnLoad:
            return BtnLoad;
        case layout::Control::Memo1:
            return Memo1;
        case layout::Control::LbTimes:
            return LbTimes;
        case layout::Control::RxNew:
            return RxNew;
        case layout::Control::EOldTime:
            return EOldTime;
        case layout::Control::RXNewSize:
            return RXNewSize;
        case layout::Control::CBHour:
            return CBHour;
        case layout::Control::CBDays:
            return CBDays;
        case layout::Control::BtnMove:
            return BtnMove;
        }
        return nullptr;
    };
    for (std::size_t i = 0; i + 1 < layout::kTabOrder.size(); ++i)
        setTabOrder(control(layout::kTabOrder[i]), control(layout::kTabOrder[i + 1]));
}

void TForm1::placeControls()
{
    const auto scaled = [this](int v) { return static_cast<int>(std::lround(v * m_scale)); };
    const auto at = [&](QWidget* w, const layout::Place& p) {
        w->setGeometry(scaled(p.left), scaled(p.top), scaled(p.width), scaled(p.height));
    };
    setFixedSize(scaled(layout::kClientWidth), scaled(layout::kClientHeight));
    at(Panel1, layout::kPanel1);
    at(Memo1, layout::kMemo1);
    // Labels take the size of their text.
    for (auto [label, place] : {std::pair{Label1, layout::kLabel1}, std::pair{Label2, layout::kLabel2},
                                std::pair{Label3, layout::kLabel3}, std::pair{Label4, layout::kLabel4}}) {
        label->adjustSize();
        label->move(scaled(place.left), scaled(place.top));
    }
    at(DEBase, layout::kDEBase);
    at(BtnLoad, layout::kBtnLoad);
    at(CBDays, layout::kCBDays);
    at(CBHour, layout::kCBHour);
    at(LbTimes, layout::kLbTimes);
    at(EOldTime, layout::kEOldTime);
    at(RxNew, layout::kRxNew);
    at(RXNewSize, layout::kRXNewSize);
    at(BtnMove, layout::kBtnMove);
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

namespace {

// What the user does with the mouse, the keyboard and the like; painting,
// moving and closing the window are not among it.
bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

} // namespace

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (m_form.running() && isUserInput(event->type()) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this)
        return true;
    // A new press starts a new click on the minute list.
    if (watched == LbTimes->viewport() && event->type() == QEvent::MouseButtonPress)
        m_rowChangedByPress = false;
    return QWidget::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    m_form.FormClose();
    QWidget::closeEvent(event);
}

void TForm1::contextMenuEvent(QContextMenuEvent* event)
{
    // Reached from the form's background and the controls that have no
    // menu of their own; the fields keep theirs.
    PopupMenu1->popup(event->globalPos());
    event->accept();
}

void TForm1::FormCreate()
{
    m_form.FormCreate();
}

void TForm1::BtnLoadClick()
{
    m_form.BtnLoadClick();
}

void TForm1::LbTimesClick()
{
    m_form.LbTimesClick();
}

void TForm1::RxNewChange()
{
    m_form.RxNewChange();
}

void TForm1::BtnMoveClick()
{
    m_form.BtnMoveClick();
}

void TForm1::UndoClick()
{
    m_form.UndoClick();
}

bool TForm1::CheckDayOfWeek(int index) const
{
    return m_form.CheckDayOfWeek(index);
}

bool TForm1::CheckTime(int index) const
{
    return m_form.CheckTime(index);
}

int TForm1::GetDOW(paradox::DateTime date) const
{
    return m_form.GetDOW(date);
}

std::string TForm1::folderText() const
{
    return DEBase->text().toStdString();
}

void TForm1::clearMinuteList()
{
    const QSignalBlocker quiet(LbTimes);
    LbTimes->clear();
}

void TForm1::addMinute(const std::string& text)
{
    auto* item = new QListWidgetItem(QString::fromStdString(text));
    item->setSizeHint(QSize(0, static_cast<int>(std::lround(layout::kMinuteRowHeight * m_scale))));
    LbTimes->addItem(item);
}

void TForm1::selectMinute(int row)
{
    const QSignalBlocker quiet(LbTimes);
    LbTimes->setCurrentRow(row);
}

int TForm1::selectedMinute() const
{
    return LbTimes->currentRow();
}

void TForm1::setOldTimeText(const std::string& text)
{
    EOldTime->setText(QString::fromStdString(text));
}

spinedit::SpinValue& TForm1::newMinute()
{
    return RxNew->model();
}

spinedit::SpinValue& TForm1::newSize()
{
    return RXNewSize->model();
}

void TForm1::setNewMinuteEnabled(bool enabled)
{
    RxNew->setEnabled(enabled);
}

void TForm1::setNewSizeEnabled(bool enabled)
{
    RXNewSize->setEnabled(enabled);
}

void TForm1::setMoveEnabled(bool enabled)
{
    BtnMove->setEnabled(enabled);
}

void TForm1::setUndoEnabled(bool enabled)
{
    MenuUndo->setEnabled(enabled);
}

void TForm1::showError(const std::string& message)
{
    m_prompter->error(QString::fromStdString(message));
}

void TForm1::showNotice(const std::string& message)
{
    m_prompter->inform(QString::fromStdString(message));
}

bool TForm1::confirm(const std::string& text)
{
    return m_prompter->confirm(QString::fromStdString(text));
}

} // namespace app

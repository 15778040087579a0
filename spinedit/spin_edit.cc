#include "spinedit/spin_edit.h"

#include "spinedit/spin_button.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QPushButton>
#include <QStyle>

namespace spinedit {
namespace {

// Width of the sunken 3-D edge a framed editor's button part sits in.
constexpr int kEdge = 2;
// The thin border of the window system, counted four times in the minimum height.
constexpr int kSystemBorder = 1;

// The user's separator as Qt's locale has it, which follows the user's own
// settings where the C library's locale does not.
char userDecimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point[0].unicode() < 0x80)
        return static_cast<char>(point[0].unicode());
    return systemDecimalSeparator();
}

// The characters a key would insert, as QLineEdit decides it, which the filter
// sees; backspace counts as one. Keys that only edit or move, shortcuts with
// Ctrl and other control characters are no typing.
QString typedText(const QKeyEvent& key)
{
    if (key.key() == Qt::Key_Backspace)
        return QString(QChar(8));
    const QString text = key.text();
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    if (text.isEmpty() || !text[0].isPrint() || modifiers == Qt::ControlModifier ||
        modifiers == (Qt::ControlModifier | Qt::ShiftModifier))
        return {};
    return text;
}

// Hidden and cut loose at once, deleted once the event that asked for it is
// over: a handler of the part's own click may change the button kind.
void retire(QWidget* part)
{
    if (!part)
        return;
    part->hide();
    part->setParent(nullptr);
    part->deleteLater();
}

} // namespace

TRxSpinEdit::TRxSpinEdit(QWidget* parent) : QLineEdit(parent), m_value(userDecimalSeparator())
{
    m_value.OnChange = [this] { emit OnChange(); };
    m_value.OnTopClick = [this] { emit OnTopClick(); };
    m_value.OnBottomClick = [this] { emit OnBottomClick(); };
    m_value.onBeep = [this] { beep(); };
    m_value.onTextWritten = [this] { showModelText(); };
    QLineEdit::setText(QString::fromStdString(m_value.text()));
    // QLineEdit emits textEdited before textChanged, so OnChange sees Modified.
    connect(this, &QLineEdit::textEdited, this, [this] { m_value.setModified(true); });
    connect(this, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_value.setText(text.toStdString()); });
    // Dropped text would bypass the filter on typing.
    setAcceptDrops(false);
    setMinimumHeight(MinimumHeight());
    applyAlignment();
    RebuildButton();
    PlaceButton();
    SetTextArea();
}

TRxSpinEdit::~TRxSpinEdit()
{
    // Nothing is reported while the editor is torn down.
    m_value.clearHooks();
    disconnect(this, &QLineEdit::textChanged, this, nullptr);
}

void TRxSpinEdit::StepUp()
{
    m_value.StepUp();
}

void TRxSpinEdit::StepDown()
{
    m_value.StepDown();
}

void TRxSpinEdit::setButtonKind(TSpinButtonKind kind)
{
    const TSpinButtonKind before = EffectiveButtonKind();
    m_buttonKind = kind;
    if (EffectiveButtonKind() == before)
        return;
    RebuildButton();
    PlaceButton();
    SetTextArea();
}

void TRxSpinEdit::setArrowKeys(bool on)
{
    m_rules.setArrowKeys(on);
    PlaceButton();
}

void TRxSpinEdit::setEditorEnabled(bool on)
{
    m_rules.setEditorEnabled(on);
    applyReadOnly();
}

void TRxSpinEdit::setReadOnly(bool on)
{
    m_value.setReadOnly(on);
    applyReadOnly();
}

// A read-only QLineEdit refuses every way of editing (keys, clipboard, the
// context menu, input methods); with EditorEnabled off only steps may change
// the text, so the line edit is read-only then too.
void TRxSpinEdit::applyReadOnly()
{
    QLineEdit::setReadOnly(!m_rules.clipboardEdits());
}

void TRxSpinEdit::setFrame(bool on)
{
    QLineEdit::setFrame(on);
    PlaceButton();
    SetTextArea();
}

void TRxSpinEdit::setAlignment(Qt::Alignment alignment)
{
    if (alignment == m_alignment)
        return;
    m_alignment = alignment;
    applyAlignment();
}

void TRxSpinEdit::applyAlignment()
{
    Qt::Alignment visual = m_alignment & ~Qt::AlignAbsolute;
    const Qt::Alignment horizontal = visual & Qt::AlignHorizontal_Mask;
    if (horizontal & (Qt::AlignLeft | Qt::AlignRight)) {
        const TAlignment shown = visualAlignment(horizontal & Qt::AlignLeft ? TAlignment::taLeftJustify
                                                                            : TAlignment::taRightJustify,
                                                 layoutDirection() == Qt::RightToLeft);
        visual = (visual & ~Qt::AlignHorizontal_Mask) |
                 (shown == TAlignment::taLeftJustify ? Qt::AlignLeft : Qt::AlignRight);
    }
    QLineEdit::setAlignment(visual | Qt::AlignAbsolute);
}

void TRxSpinEdit::setModified(bool modified)
{
    m_value.setModified(modified);
    QLineEdit::setModified(modified);
}

int TRxSpinEdit::StandardButtonWidth() const
{
    return standardButtonWidth(style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this));
}

int TRxSpinEdit::ButtonPartWidth() const
{
    if (m_upDown)
        return m_upDown->width();
    if (m_button)
        return m_button->width();
    return StandardButtonWidth();
}

int TRxSpinEdit::MinimumHeight() const
{
    return spinedit::minimumHeight(fontMetrics().height(), kSystemBorder);
}

bool TRxSpinEdit::AcceptsChar(QChar c) const
{
    return m_rules.AcceptsChar(c.unicode());
}

void TRxSpinEdit::RebuildButton()
{
    retire(m_upDown);
    retire(m_holder);
    if (EffectiveButtonKind() == TSpinButtonKind::bkStandard) {
        m_upDown = new TRxUpDown(this);
        m_upDown->setObjectName(QStringLiteral("UpDown"));
        m_upDown->setGeometry(0, 0, StandardButtonWidth(), height());
        connect(m_upDown, &TRxUpDown::OnClick, this, &TRxSpinEdit::upDownClicked);
        for (QAbstractButton* arrow : m_upDown->findChildren<QAbstractButton*>())
            arrow->installEventFilter(this);
        m_upDown->show();
        return;
    }
    m_holder = new QWidget(this);
    m_holder->setObjectName(QStringLiteral("ButtonHolder"));
    m_holder->setGeometry(0, 0, height(), height());
    m_button = new TRxSpinButton(m_holder);
    m_button->setObjectName(QStringLiteral("SpinButton"));
    m_button->setFocusControl(this);
    m_button->setGeometry(m_holder->rect());
    connect(m_button, &TRxSpinButton::OnTopClick, this, &TRxSpinEdit::StepUp);
    connect(m_button, &TRxSpinButton::OnBottomClick, this, &TRxSpinEdit::StepDown);
    m_button->installEventFilter(this);
    m_holder->show();
}

void TRxSpinEdit::PlaceButton()
{
    const bool rtl = layoutDirection() == Qt::RightToLeft;
    const int w = width();
    const int h = height();
    if (m_upDown) {
        const QRect client = hasFrame() ? rect().adjusted(kEdge, kEdge, -kEdge, -kEdge) : rect();
        const SpinRect arrows = upDownRect(client.width(), client.height(), StandardButtonWidth(), rtl);
        m_upDown->setGeometry(client.left() + arrows.left, client.top() + arrows.top, arrows.width, arrows.height);
    } else if (m_holder) {
        const SpinRect square = diagonalButtonRect(w, h, hasFrame(), rtl);
        m_holder->setGeometry(square.left, square.top, square.width, square.height);
        if (m_button)
            m_button->setGeometry(m_holder->rect());
    }
}

void TRxSpinEdit::SetTextArea()
{
    const TextMargins margins = spinedit::textMargins(ButtonPartWidth(), layoutDirection() == Qt::RightToLeft);
    setTextMargins(margins.left, 0, margins.right, 0);
}

void TRxSpinEdit::showModelText()
{
    const QString text = QString::fromStdString(m_value.text());
    if (text == QLineEdit::text())
        return;
    // Stepping a fully selected value keeps it selected, so typing replaces it.
    const bool allSelected = hasSelectedText() && selectedText() == QLineEdit::text();
    QLineEdit::setText(text);
    if (allSelected)
        selectAll();
}

void TRxSpinEdit::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    // Modifiers are not looked at: Shift+Up steps as well.
    const SpinKey spinKey = key == Qt::Key_Up ? SpinKey::Up : key == Qt::Key_Down ? SpinKey::Down : SpinKey::Other;
    if (m_rules.keyDown(spinKey)) {
        event->accept();
        return;
    }
    const QString typed = typedText(*event);
    for (QChar c : typed) {
        if (!AcceptsChar(c)) {
            event->accept();
            beep();
            return;
        }
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        event->accept();
        passDialogKey(*event);
        return;
    }
    QLineEdit::keyPressEvent(event);
}

// Qt gives a dialog's default button and its reject() to the keys a dialog
// receives; other windows have no cancel action, but may have a default button.
void TRxSpinEdit::passDialogKey(const QKeyEvent& key)
{
    QWidget* form = window();
    if (form == this)
        return;
    if (auto* dialog = qobject_cast<QDialog*>(form)) {
        QKeyEvent copy(QEvent::KeyPress, key.key(), key.modifiers(), key.text());
        QCoreApplication::sendEvent(dialog, &copy);
        return;
    }
    if (key.key() == Qt::Key_Escape)
        return;
    for (QPushButton* button : form->findChildren<QPushButton*>()) {
        if (button->isDefault() && button->isVisible() && button->window() == form) {
            if (button->isEnabled())
                button->click();
            return;
        }
    }
}

void TRxSpinEdit::inputMethodEvent(QInputMethodEvent* event)
{
    for (QChar c : event->commitString()) {
        if (!AcceptsChar(c)) {
            beep();
            QInputMethodEvent preeditOnly(event->preeditString(), event->attributes());
            QLineEdit::inputMethodEvent(&preeditOnly);
            return;
        }
    }
    QLineEdit::inputMethodEvent(event);
}

void TRxSpinEdit::mousePressEvent(QMouseEvent* event)
{
    m_selectOnButtonPress = false;
    QLineEdit::mousePressEvent(event);
}

bool TRxSpinEdit::eventFilter(QObject* watched, QEvent* event)
{
    // Qt focuses the editor for a click on its button part before the part
    // sees the press, so the press decides here how the field was entered.
    if (event->type() == QEvent::MouseButtonPress && m_selectOnButtonPress) {
        m_selectOnButtonPress = false;
        selectAll();
    }
    return QLineEdit::eventFilter(watched, event);
}

void TRxSpinEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    m_selectOnButtonPress = false;
    if (!m_rules.AutoSelect())
        return;
    switch (event->reason()) {
    case Qt::MouseFocusReason:
        m_selectOnButtonPress = true;
        break;
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason:
        // The focus comes back to the field; it is not entered.
        break;
    default:
        selectAll();
        break;
    }
}

void TRxSpinEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    m_selectOnButtonPress = false;
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    m_rules.leave();
}

void TRxSpinEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    PlaceButton();
    SetTextArea();
}

void TRxSpinEdit::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
        setMinimumHeight(MinimumHeight());
        PlaceButton();
        SetTextArea();
        break;
    case QEvent::LayoutDirectionChange:
        applyAlignment();
        PlaceButton();
        SetTextArea();
        break;
    case QEvent::EnabledChange:
        PlaceButton();
        break;
    default:
        break;
    }
}

void TRxSpinEdit::upDownClicked(TRxUpDown::Button button)
{
    if ((focusPolicy() & Qt::TabFocus) && isEnabled() && isVisible() && !hasFocus())
        setFocus(Qt::OtherFocusReason);
    if (button == TRxUpDown::Button::Next)
        StepUp();
    else
        StepDown();
}

void TRxSpinEdit::beep()
{
    if (m_beepHook)
        m_beepHook();
    else
        QApplication::beep();
}

} // namespace spinedit

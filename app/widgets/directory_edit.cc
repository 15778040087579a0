#include "app/widgets/directory_edit.h"

#include "app/widgets/folder_navigator.h"
#include "app/widgets/select_directory_dialog.h"

#include <QEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>

#include <utility>

namespace app {

TDirectoryEdit::TDirectoryEdit(QWidget* parent) : QLineEdit(parent), m_button(new QToolButton(this))
{
    m_button->setObjectName(QStringLiteral("Button"));
    m_button->setIcon(QIcon(QStringLiteral(":/pictures/open_folder.xpm")));
    m_button->setIconSize(QSize(14, 12));
    // Clicking it must leave the focus, and the caret, in the text.
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setCursor(Qt::ArrowCursor);
    connect(m_button, &QToolButton::clicked, this, &TDirectoryEdit::openDialog);
    // Keeps the text, the caret and the selection out from under the button.
    setTextMargins(0, 0, kButtonWidth, 0);
    placeButton();
}

TDirectoryEdit::~TDirectoryEdit()
{
    // The dialog is our child and would otherwise go only after this part of
    // the field, so a result it reported while going would reach a half
    // destroyed field.
    if (m_dialog) {
        m_dialog->disconnect(this);
        delete m_dialog;
    }
}

SelectDirectoryDialog* TDirectoryEdit::openDialog()
{
    if (m_dialog) {
        m_dialog->raise();
        m_dialog->activateWindow();
        return m_dialog;
    }
    FolderNavigator navigator(availableDrives());
    const QString start = navigator.startFolder(text(), m_lastChosen);
    m_dialog = new SelectDirectoryDialog(std::move(navigator), start, this);
    connect(m_dialog, &QDialog::finished, this, &TDirectoryEdit::dialogFinished);
    m_dialog->show();
    return m_dialog;
}

void TDirectoryEdit::dialogFinished(int result)
{
    SelectDirectoryDialog* dialog = m_dialog;
    m_dialog.clear();
    const bool accepted = result == QDialog::Accepted;
    if (dialog) {
        if (accepted) {
            setText(dialog->folderText());
            m_lastChosen = dialog->folder();
        }
        dialog->deleteLater();
    }
    window()->activateWindow();
    setFocus(Qt::OtherFocusReason);
    emit dialogClosed(accepted);
}

void TDirectoryEdit::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Down && modifiers == Qt::AltModifier) {
        openDialog();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TDirectoryEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    placeButton();
}

void TDirectoryEdit::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    // Another style may draw a frame of another width.
    if (event->type() == QEvent::StyleChange)
        placeButton();
}

void TDirectoryEdit::placeButton()
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    // Inside the frame, so the field's border runs round the button too.
    const QRect inside = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    m_button->setGeometry(inside.right() + 1 - kButtonWidth, inside.top(), kButtonWidth, inside.height());
}

SelectDirectoryDialog* TDirectoryEdit::dialog() const
{
    return m_dialog;
}

} // namespace app

#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QString>

class QKeyEvent;
class QResizeEvent;
class QToolButton;

namespace app {

class SelectDirectoryDialog;

// The folder field: a one-line edit that takes any text, with a browse
// button inside its right end. The button, or Alt+Down, opens the "Select
// Directory" dialog; "OK" there replaces the text with the chosen folder.
//
// The main window places it like any edit:
//   DEBase = new app::TDirectoryEdit(this);
//   DEBase->setGeometry(4, 212, 453, 21);
//   DEBase->setText(QStringLiteral("C:\\Kalvora"));
class TDirectoryEdit : public QLineEdit {
    Q_OBJECT

public:
    static constexpr int kButtonWidth = 21;

    explicit TDirectoryEdit(QWidget* parent = nullptr);
    ~TDirectoryEdit() override;

    // The browse button, owned by the field (object name "Button").
    QToolButton* button() const { return m_button; }

    // Shows the dialog, modal for the whole application, and returns at once;
    // the dialog's result reaches the field when it closes. While one is
    // open, returns that one.
    SelectDirectoryDialog* openDialog();
    // The dialog while it is open, else null.
    SelectDirectoryDialog* dialog() const;

signals:
    // After the dialog has closed and its result reached the field.
    void dialogClosed(bool accepted);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void placeButton();
    void dialogFinished(int result);

    QToolButton* m_button;
    QPointer<SelectDirectoryDialog> m_dialog;
    // Where the dialog starts for an empty text: the folder last chosen
    // with "OK" during this run.
    QString m_lastChosen;
};

} // namespace app

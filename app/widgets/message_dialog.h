#pragma once

#include <QDialog>
#include <QString>

namespace app {

enum class MessageIcon { Stop, Question, Information };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// A modal message box: the system's icon with the text beside it, wrapped to
// at most half the screen's width, over a centred row of buttons; the box is
// centred on the screen and at least as wide as its title bar needs to show
// the title whole. The text is plain (never markup); a carriage return, a
// line feed or the pair breaks the line.
//
// Enter presses the focused button, which is at first the leftmost. Escape
// and closing the box answer "OK" in an OK box and "No" in a Yes/No box.
class MessageDialog : public QDialog {
    Q_OBJECT

public:
    MessageDialog(MessageIcon icon, const QString& title, const QString& text, MessageButtons buttons,
                  QWidget* parent = nullptr);

    // The button pressed; before that, the answer Escape would give.
    MessageAnswer answer() const { return m_answer; }
    // The text as shown, every line break as "\n".
    QString text() const { return m_text; }

public slots:
    void reject() override;

private:
    void finish(MessageAnswer answer);

    QString m_text;
    MessageAnswer m_escapeAnswer;
    MessageAnswer m_answer;
};

// Shows a box modally over the whole program and returns the button pressed.
// The box stays above every other window of the program, the stay-on-top
// progress window included, and takes the focus. `owner` only keeps the box
// above its window; the box is centred on the owner's screen. Should the box be destroyed while open (its owner
// going first), the answer is the one Escape gives.
MessageAnswer runMessageBox(MessageIcon icon, const QString& title, const QString& text, MessageButtons buttons,
                            QWidget* owner = nullptr);

} // namespace app

#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace app {

// The program's two message boxes, behind an interface so that tests can
// answer them without a modal loop.
class Prompter {
public:
    virtual ~Prompter() = default;
    // The error message box: stop icon, "Error", one "OK" button.
    virtual void error(const QString& text) = 0;
    // The confirmation box: question icon, "Confirm", "&Yes" and "&No".
    // True only for Yes; Escape and closing the box count as No.
    virtual bool confirm(const QString& text) = 0;
    // A message that asks nothing: information icon, "Information", "OK".
    virtual void inform(const QString& text) = 0;
};

// The boxes on the screen, each modal over the whole program.
class ScreenPrompter : public Prompter {
public:
    // `owner`, when given, is the window the boxes stay above.
    explicit ScreenPrompter(QWidget* owner = nullptr) : m_owner(owner) {}

    void error(const QString& text) override;
    bool confirm(const QString& text) override;
    void inform(const QString& text) override;

private:
    QPointer<QWidget> m_owner;
};

} // namespace app

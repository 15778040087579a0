#pragma once

#include "winapp/window.h"

#include <string>

namespace winapp {

// The program's message boxes, behind an interface so that tests can answer
// them without a modal loop. Texts are UTF-8.
class Prompter {
public:
    virtual ~Prompter() = default;
    // The error box: stop icon, "Error", one "OK" button.
    virtual void error(const std::string& text) = 0;
    // The confirmation box: question icon, "Confirm", "&Yes" and "&No".
    // True only for Yes; Escape counts as No.
    virtual bool confirm(const std::string& text) = 0;
    // A message that asks nothing: information icon, "Information", "OK".
    virtual void inform(const std::string& text) = 0;
};

// The system's message boxes, modal over `owner` (the program's main window
// when null) and above every window of the program, the stay-on-top
// progress window included; each takes the focus.
class ScreenPrompter : public Prompter {
public:
    explicit ScreenPrompter(HWND owner = nullptr) : m_owner(owner) {}

    void error(const std::string& text) override;
    bool confirm(const std::string& text) override;
    void inform(const std::string& text) override;

private:
    int show(const std::string& text, const char* title, UINT kind);

    HWND m_owner;
};

} // namespace winapp

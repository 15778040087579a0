#pragma once

#include "winapp/prompter.h"

#include <deque>
#include <string>
#include <vector>

// Answers confirmations from a preset queue, No once it runs dry, and keeps
// every text it was shown, so no test waits on a modal box.
class PresetPrompter : public winapp::Prompter {
public:
    void setNextAnswer(bool yes) { m_answers.push_back(yes); }

    void error(const std::string& text) override { errors.push_back(text); }
    void inform(const std::string& text) override { notices.push_back(text); }
    bool confirm(const std::string& text) override
    {
        questions.push_back(text);
        if (m_answers.empty())
            return false;
        const bool yes = m_answers.front();
        m_answers.pop_front();
        return yes;
    }

    std::vector<std::string> errors;
    std::vector<std::string> notices;
    std::vector<std::string> questions;

private:
    std::deque<bool> m_answers;
};

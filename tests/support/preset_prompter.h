#pragma once

#include "app/widgets/prompter.h"

#include <QStringList>

#include <deque>

// Answers confirmations from a preset queue, No once it runs dry, and keeps
// every text it was shown, so no test waits on a modal box.
class PresetPrompter : public app::Prompter {
public:
    void setNextAnswer(bool yes) { m_answers.push_back(yes); }

    void error(const QString& text) override { errors << text; }
    void inform(const QString& text) override { notices << text; }

    bool confirm(const QString& text) override
    {
        questions << text;
        if (m_answers.empty())
            return false;
        const bool yes = m_answers.front();
        m_answers.pop_front();
        return yes;
    }

    QStringList errors;
    QStringList notices;
    QStringList questions;

private:
    std::deque<bool> m_answers;
};

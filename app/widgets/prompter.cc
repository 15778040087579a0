#include "app/widgets/prompter.h"

#include "app/widgets/message_dialog.h"

namespace app {

void ScreenPrompter::error(const QString& text)
{
    runMessageBox(MessageIcon::Stop, QStringLiteral("Error"), text, MessageButtons::Ok, m_owner);
}

bool ScreenPrompter::confirm(const QString& text)
{
    return runMessageBox(MessageIcon::Question, QStringLiteral("Confirm"), text, MessageButtons::YesNo, m_owner)
           == MessageAnswer::Yes;
}

void ScreenPrompter::inform(const QString& text)
{
    runMessageBox(MessageIcon::Information, QStringLiteral("Information"), text, MessageButtons::Ok, m_owner);
}

} // namespace app

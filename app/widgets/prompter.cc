#include "app/widgets/prompter.h"

#include "app/form/messages.h"
#include "app/widgets/message_dialog.h"

namespace app {

void ScreenPrompter::error(const QString& text)
{
    runMessageBox(MessageIcon::Stop, QString::fromLatin1(kErrorTitle), text, MessageButtons::Ok, m_owner);
}

bool ScreenPrompter::confirm(const QString& text)
{
    return runMessageBox(MessageIcon::Question, QString::fromLatin1(kConfirmTitle), text, MessageButtons::YesNo,
                         m_owner) == MessageAnswer::Yes;
}

void ScreenPrompter::inform(const QString& text)
{
    runMessageBox(MessageIcon::Information, QString::fromLatin1(kInformationTitle), text, MessageButtons::Ok,
                  m_owner);
}

} // namespace app

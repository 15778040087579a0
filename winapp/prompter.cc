#include "winapp/prompter.h"

#include "app/form/messages.h"

namespace winapp {
int ScreenPrompter::show(const std::string& text, const char* title, UINT kind)
{
    return messageBox(m_owner ? m_owner : mainWindow(), text, widen(title), kind);
}

void ScreenPrompter::error(const std::string& text)
{
    show(text, app::kErrorTitle, MB_OK | MB_ICONSTOP);
}

bool ScreenPrompter::confirm(const std::string& text)
{
    return show(text, app::kConfirmTitle, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ScreenPrompter::inform(const std::string& text)
{
    show(text, app::kInformationTitle, MB_OK | MB_ICONINFORMATION);
}

} // namespace winapp

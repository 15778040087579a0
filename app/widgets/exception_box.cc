#include "app/widgets/exception_box.h"

#include "app/form/messages.h"
#include "app/widgets/message_dialog.h"

#include <QCoreApplication>

#include <algorithm>

namespace app {

QString exceptionBoxText(const QString& message)
{
    return QString::fromStdString(exceptionBoxText(message.toStdString()));
}

QString applicationTitle(const QString& programPath)
{
    const qsizetype slash = std::max(programPath.lastIndexOf(QLatin1Char('/')),
                                     programPath.lastIndexOf(QLatin1Char('\\')));
    QString name = programPath.mid(slash + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.isEmpty())
        return name;
    // The first character stays as it is, whole even when it is a surrogate pair.
    const qsizetype head = name.front().isHighSurrogate() && name.size() > 1 ? 2 : 1;
    return name.left(head) + name.mid(head).toLower();
}

void showExceptionBox(const QString& message, QWidget* owner)
{
    runMessageBox(MessageIcon::Stop, applicationTitle(QCoreApplication::applicationFilePath()),
                  exceptionBoxText(message), MessageButtons::Ok, owner);
}

} // namespace app

#include "app/application.h"

#include "app/form/messages.h"
#include "app/widgets/exception_box.h"
#include "app/widgets/pictures.h"

#include <exception>

namespace app {
namespace {

std::function<void(const QString&)>& reporter()
{
    static std::function<void(const QString&)> r;
    return r;
}

} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    setWindowIcon(applicationIcon());
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const Abort&) {
    } catch (const std::exception& e) {
        reportError(QString::fromUtf8(e.what()));
    } catch (...) {
        reportError(QString::fromUtf8(kUnknownError));
    }
    return true;
}

void Application::setErrorReporter(std::function<void(const QString&)> r)
{
    reporter() = std::move(r);
}

void Application::reportError(const QString& message)
{
    if (reporter())
        reporter()(message);
    else
        showExceptionBox(message);
}

} // namespace app

#pragma once

#include <QApplication>

#include <functional>

namespace app {

// The application object. Every event handler of the program runs inside its
// notify(), where an error no handler caught is shown in the default
// exception box; the program then goes on with its message loop.
class Application : public QApplication {
    Q_OBJECT

public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // What shows an uncaught error's message (the default exception box unless
    // replaced, as tests do); an empty function restores the box.
    static void setErrorReporter(std::function<void(const QString&)> reporter);
    // Shows a message as an uncaught error is shown.
    static void reportError(const QString& message);
};

// The silent abort: leaves a handler without any message.
class Abort {};

} // namespace app

#pragma once

#include <QString>

class QWidget;

namespace app {

// The text of the box for an error no handler caught: the message, with a
// full stop appended when the message is not empty and its last character
// comes after "." in character order (so none after ".", "!", ")" or a
// blank, one after "?", a letter or a digit).
QString exceptionBoxText(const QString& message);

// The application's title from its program file's path: the name without
// its folder ("/" or "\" ends a folder), cut at its first full stop, every
// character after the first in lower case.
QString applicationTitle(const QString& programPath);

// Shows the box modally: stop icon, the application title of this program
// as its caption, the message by exceptionBoxText, one "OK" button.
void showExceptionBox(const QString& message, QWidget* owner = nullptr);

} // namespace app

#pragma once

// The program's message boxes: their titles, and the text of the box for an
// error no handler caught.

#include <string>

namespace app {

// Error box: stop icon, one "OK" button.
inline constexpr const char* kErrorTitle = "Error";
// Confirmation box: question icon, "&Yes" and "&No".
inline constexpr const char* kConfirmTitle = "Confirm";
// A message that asks nothing: information icon, one "OK" button.
inline constexpr const char* kInformationTitle = "Information";

// What the exception box says of an error that carries no message.
inline constexpr const char* kUnknownError = "Неизвестная ошибка";

// The message of an error no handler caught, with a full stop appended when
// the message is not empty and its last character comes after "." in
// character order (so none after ".", "!", ")" or a blank, one after "?", a
// letter or a digit). UTF-8.
std::string exceptionBoxText(const std::string& message);

} // namespace app

#include "app/form/messages.h"

namespace app {

std::string exceptionBoxText(const std::string& message)
{
    // The rule compares single-byte codes. Every character of the Cyrillic
    // code page above "." is above it as a code point too, and the last byte
    // of any UTF-8 sequence of more than one byte is above it as well, so
    // comparing the last byte gives the same answer.
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + '.';
    return message;
}

} // namespace app

#pragma once

#include <stdexcept>
#include <string>

namespace progress {

// A number that does not fit the integer it is converted to. Its message is
// the text the user sees in the error box.
class RangeError : public std::range_error {
public:
    explicit RangeError(const std::string& message = "Range check error")
        : std::range_error(message)
    {
    }
};

} // namespace progress

#pragma once

#include <stdexcept>
#include <string>

namespace grid {

// The one exception type the program's operations raise; its text is what
// the user is shown. An error leaves the running handler at once, and what
// was already done stays done.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// A number that does not fit the integer it is converted to.
class RangeError : public Error {
public:
    explicit RangeError(const std::string& message = "Range check error") : Error(message) {}
};

} // namespace grid

#pragma once

#include <string>

namespace grid {

// Where a long operation reports how far it has got. The operation does not
// know whether a window, a terminal bar or a test records the reports.
//
// text: UTF-8; an empty text keeps the current heading.
// percent: 0..100 while working (values outside are the receiver's to clamp);
// a negative percent with an empty text ends the reporting.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void report(const std::string& text, double percent) = 0;
};

} // namespace grid

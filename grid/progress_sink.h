#pragma once

#include <string>

namespace grid {

// Where a long operation reports how far it has got. The operation does not
// know whether a window, a terminal bar or a test records the reports.
//
// text: UTF-8; an empty text keeps the current heading.
// percent: 0..100 while working (values outside are the receiver's to clamp);
// a negative percent with an empty text ends the reporting.
//
// A report may raise an exception to stop the operation (the user closed the
// program, say); the operation then leaves as it does for an error, with
// nothing written unless a shift had already begun to write. The report that
// ends the reporting must not raise.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void report(const std::string& text, double percent) = 0;
};

} // namespace grid

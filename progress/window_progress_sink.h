#pragma once

#include "grid/progress_sink.h"

namespace progress {

// Shows an operation's reports in the progress window (ReportProgress).
class WindowProgressSink final : public grid::ProgressSink {
public:
    void report(const std::string& text, double percent) override;
};

} // namespace progress

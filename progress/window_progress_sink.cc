#include "progress/window_progress_sink.h"

#include "progress/fr_message.h"

namespace progress {

void WindowProgressSink::report(const std::string& text, double percent)
{
    ReportProgress(QString::fromStdString(text), percent);
}

} // namespace progress

#include "progress/report_progress.h"

#include "grid/errors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace progress {

void reportProgress(ProgressWindows& windows, const std::string& text, double percent)
{
    if (text.empty() && percent < 0) {
        if (windows.isOpen())
            windows.close();
        return;
    }
    if (!windows.isOpen())
        windows.create();
    if (!text.empty())
        windows.setHeading(text);
    if (percent >= 0)
        windows.showBar(wholePercent(percent));
    else
        windows.hideBar();
    windows.show();
    windows.handleMessages();
    windows.pause();
}

int wholePercent(double percent)
{
    const double whole = std::trunc(percent);
    if (!(whole >= std::numeric_limits<std::int32_t>::min() && whole <= std::numeric_limits<std::int32_t>::max()))
        throw grid::RangeError();
    return static_cast<int>(whole);
}

int gaugeValue(int progress)
{
    return std::clamp(progress, kGaugeMin, kGaugeMax);
}

int gaugeFill(int width, int value)
{
    return width * (gaugeValue(value) - kGaugeMin) / (kGaugeMax - kGaugeMin);
}

std::string gaugeText(int value)
{
    return std::to_string(value) + "%";
}

} // namespace progress

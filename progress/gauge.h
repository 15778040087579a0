#pragma once

#include "progress/report_progress.h"

#include <QWidget>

namespace progress {

// A horizontal percentage bar: a white bar filled in navy from the left, with
// the percentage centred on it, dark over the white part and light over the
// navy part so that it reads on both.
class Gauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Progress READ Progress WRITE setProgress)

public:
    static constexpr int kMinValue = kGaugeMin;
    static constexpr int kMaxValue = kGaugeMax;

    explicit Gauge(QWidget* parent = nullptr);

    int Progress() const { return m_progress; }
    // Clamps to kMinValue..kMaxValue; repaints only when the shown value
    // changes, as callers report far more often than the bar moves.
    void setProgress(int value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_progress = kMinValue;
};

} // namespace progress

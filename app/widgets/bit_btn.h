#pragma once

#include <QPixmap>
#include <QPushButton>

namespace app {

// A push button with a picture above its caption, the two centred together
// 4 pixels apart; the second picture shows while the button is disabled.
class TBitBtn : public QPushButton {
    Q_OBJECT

public:
    explicit TBitBtn(QWidget* parent = nullptr);

    void setGlyphs(const QPixmap& enabled, const QPixmap& disabled);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_enabled;
    QPixmap m_disabled;
};

} // namespace app

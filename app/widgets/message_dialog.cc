#include "app/widgets/message_dialog.h"

#include "progress/form_font.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace app {

namespace {

constexpr int kMargin = 11;
constexpr int kIconSize = 32;
constexpr int kIconGap = 12;
constexpr int kTextToButtons = 14;
constexpr QSize kButtonSize(75, 23);
constexpr int kButtonGap = 6;
constexpr int kTitleButtons = 3;

// The message, laid out once for the width it may take. A word longer than
// that width is broken inside so that the box never outgrows the limit (a
// long path, say).
class MessageText : public QWidget {
public:
    MessageText(const QString& text, const QFont& font, int maxWidth, QWidget* parent)
        : QWidget(parent), m_layout(text, font)
    {
        setObjectName(QStringLiteral("message"));
        QTextOption option(Qt::AlignLeft);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        m_layout.setTextOption(option);
        qreal width = 0;
        qreal height = 0;
        m_layout.beginLayout();
        for (QTextLine line = m_layout.createLine(); line.isValid(); line = m_layout.createLine()) {
            line.setLineWidth(maxWidth);
            line.setPosition(QPointF(0, height));
            height += line.height();
            width = std::max(width, line.naturalTextWidth());
        }
        m_layout.endLayout();
        resize(static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height)));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        m_layout.draw(&painter, QPointF(0, 0));
    }

private:
    QTextLayout m_layout;
};

// The width the box needs for its title bar to show `title` whole, as the
// window system's own message box widens itself for its caption: the caption
// in the title bar's font, the window's small icon with a margin either side,
// and three buttons (close, and the minimise and maximise some window
// managers add to every window), each half again as wide as the bar is high,
// as current desktops draw them.
int titleBarWidth(const QString& title, const QWidget* box)
{
    const QFontMetrics caption(QApplication::font("QMdiSubWindowTitleBar"));
    const QStyle* style = box->style();
    const int bar = std::max(style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, box), caption.height());
    const int icon = style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, box);
    return kMargin + icon + kMargin + caption.horizontalAdvance(title) + kMargin + kTitleButtons * bar * 3 / 2;
}

QPushButton* addButton(QWidget* box, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, box);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(true);
    button->resize(kButtonSize);
    return button;
}

} // namespace

MessageDialog::MessageDialog(MessageIcon icon, const QString& title, const QString& text, MessageButtons buttons,
                             QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_escapeAnswer(buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No),
      m_answer(m_escapeAnswer)
{
    setWindowTitle(title);
    setFont(progress::formFont());
    setModal(true);

    // Messages come with the carriage return as their line break; QTextLayout
    // breaks at the line separator.
    m_text = text;
    m_text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QString shown = m_text;
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);

    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect screenRect = screen ? screen->geometry() : QRect(0, 0, 640, 480);

    auto* iconLabel = new QLabel(this);
    iconLabel->setObjectName(QStringLiteral("icon"));
    const QStyle::StandardPixmap pixmap = icon == MessageIcon::Stop       ? QStyle::SP_MessageBoxCritical
                                          : icon == MessageIcon::Question ? QStyle::SP_MessageBoxQuestion
                                                                          : QStyle::SP_MessageBoxInformation;
    iconLabel->setPixmap(style()->standardIcon(pixmap, nullptr, this).pixmap(kIconSize, kIconSize));
    iconLabel->setGeometry(kMargin, kMargin, kIconSize, kIconSize);

    auto* message = new MessageText(shown, font(), std::max(1, screenRect.width() / 2), this);
    const int textLeft = kMargin + kIconSize + kIconGap;
    // A short text sits level with the middle of the icon.
    const int textTop = kMargin + std::max(0, (kIconSize - message->height()) / 2);
    message->move(textLeft, textTop);

    QList<QPushButton*> row;
    if (buttons == MessageButtons::Ok) {
        row << addButton(this, "buttonOk", QStringLiteral("OK"));
        connect(row[0], &QPushButton::clicked, this, [this] { finish(MessageAnswer::Ok); });
    } else {
        row << addButton(this, "buttonYes", QStringLiteral("&Yes"))
            << addButton(this, "buttonNo", QStringLiteral("&No"));
        connect(row[0], &QPushButton::clicked, this, [this] { finish(MessageAnswer::Yes); });
        connect(row[1], &QPushButton::clicked, this, [this] { finish(MessageAnswer::No); });
    }
    const int rowWidth = row.size() * kButtonSize.width() + (row.size() - 1) * kButtonGap;

    // A title too long for the screen is left for the title bar to shorten.
    const int width = std::max({textLeft + message->width() + kMargin, rowWidth + 2 * kMargin,
                                std::min(titleBarWidth(title, this), screenRect.width())});
    const int buttonsTop = std::max(kMargin + kIconSize, textTop + message->height()) + kTextToButtons;
    int x = (width - rowWidth) / 2;
    for (QPushButton* button : row) {
        button->move(x, buttonsTop);
        x += kButtonSize.width() + kButtonGap;
    }
    row[0]->setDefault(true);
    row[0]->setFocus();

    setFixedSize(width, buttonsTop + kButtonSize.height() + kMargin);
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screenRect));
}

void MessageDialog::reject()
{
    finish(m_escapeAnswer);
}

void MessageDialog::finish(MessageAnswer answer)
{
    m_answer = answer;
    done(answer == MessageAnswer::No ? QDialog::Rejected : QDialog::Accepted);
}

MessageAnswer runMessageBox(MessageIcon icon, const QString& title, const QString& text, MessageButtons buttons,
                            QWidget* owner)
{
    const QPointer<MessageDialog> box = new MessageDialog(icon, title, text, buttons, owner);
    box->setWindowModality(Qt::ApplicationModal);
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    box->show();
    box->raise();
    box->activateWindow();
    box->exec();
    if (!box)
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    const MessageAnswer answer = box->answer();
    delete box.data();
    return answer;
}

} // namespace app

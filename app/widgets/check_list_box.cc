#include "app/widgets/check_list_box.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace app {

namespace {

// Space between the check column and the item text.
constexpr int kTextIndent = 2;

} // namespace

TCheckListBox::TCheckListBox(QWidget* parent) : QAbstractScrollArea(parent)
{
    // The classic two-pixel sunken border whatever the style, so the inside
    // size, and with it the column layout, does not depend on the style.
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void TCheckListBox::addItem(const QString& text, bool checked)
{
    m_items.push_back({text, checked});
    updateScrollBars();
    viewport()->update();
}

void TCheckListBox::clear()
{
    if (m_items.empty())
        return;
    m_items.clear();
    updateScrollBars();
    viewport()->update();
    if (m_current != -1) {
        m_current = -1;
        emit currentRowChanged(-1);
    }
}

QString TCheckListBox::itemText(int row) const
{
    return row >= 0 && row < count() ? m_items[row].text : QString();
}

bool TCheckListBox::isChecked(int row) const
{
    return row >= 0 && row < count() && m_items[row].checked;
}

void TCheckListBox::setChecked(int row, bool checked)
{
    if (row < 0 || row >= count() || m_items[row].checked == checked)
        return;
    m_items[row].checked = checked;
    viewport()->update(visualRect(row));
    emit checkedChanged(row, checked);
}

int TCheckListBox::rowHeight() const
{
    if (m_rowHeight > 0)
        return m_rowHeight;
    return std::max(fontMetrics().height(), checkBoxSize()) + 2;
}

void TCheckListBox::setRowHeight(int pixels)
{
    pixels = std::max(pixels, 0);
    if (pixels == m_rowHeight)
        return;
    m_rowHeight = pixels;
    updateScrollBars();
    viewport()->update();
}

void TCheckListBox::setColumns(int columns)
{
    columns = std::max(columns, 1);
    if (columns == m_columns)
        return;
    m_columns = columns;
    // A multi-column list scrolls sideways only; a single column only down.
    setHorizontalScrollBarPolicy(multiColumn() ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(multiColumn() ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    updateScrollBars();
    viewport()->update();
}

void TCheckListBox::setCurrentRow(int row)
{
    if (row < 0 || row >= count())
        row = -1;
    if (row == m_current)
        return;
    const int previous = m_current;
    m_current = row;
    scrollTo(row);
    viewport()->update(visualRect(previous));
    viewport()->update(visualRect(row));
    emit currentRowChanged(row);
}

QRect TCheckListBox::visualRect(int row) const
{
    if (row < 0 || row >= count())
        return {};
    const int height = rowHeight();
    if (multiColumn()) {
        const int perColumn = rowsPerColumn();
        const int column = row / perColumn - horizontalScrollBar()->value();
        return {column * columnWidth(), row % perColumn * height, columnWidth(), height};
    }
    return {0, (row - verticalScrollBar()->value()) * height, viewport()->width(), height};
}

QRect TCheckListBox::checkBoxRect(int row) const
{
    const QRect rect = visualRect(row);
    if (rect.isNull())
        return {};
    const int size = checkBoxSize();
    return {rect.left() + (checkColumnWidth() - size) / 2, rect.top() + (rect.height() - size) / 2, size, size};
}

int TCheckListBox::rowAt(const QPoint& position) const
{
    if (position.x() < 0 || position.y() < 0 || position.x() >= viewport()->width() ||
        position.y() >= viewport()->height())
        return -1;
    const int line = position.y() / rowHeight();
    int row;
    if (multiColumn()) {
        const int perColumn = rowsPerColumn();
        if (line >= perColumn)
            return -1;
        row = (horizontalScrollBar()->value() + position.x() / columnWidth()) * perColumn + line;
    } else {
        row = verticalScrollBar()->value() + line;
    }
    return row < count() ? row : -1;
}

QSize TCheckListBox::sizeHint() const
{
    int textWidth = 0;
    for (const Item& item : m_items)
        textWidth = std::max(textWidth, fontMetrics().horizontalAdvance(item.text));
    const int columnWidth = checkColumnWidth() + kTextIndent + textWidth + kTextIndent;
    const int rows = std::max(1, std::min((count() + m_columns - 1) / m_columns, 10));
    const int frame = 2 * frameWidth();
    return {m_columns * columnWidth + frame, rows * rowHeight() + frame};
}

void TCheckListBox::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const QPalette& pal = palette();
    const int first = multiColumn() ? horizontalScrollBar()->value() * rowsPerColumn()
                                    : verticalScrollBar()->value();
    // The focus box marks the row the keys act on, and only in the list that
    // has the focus: the current row, or the first while none is selected,
    // so that moving the focus between lists always shows.
    const int focusRow = hasFocus() ? std::max(m_current, 0) : -1;
    for (int row = std::max(first, 0); row < count(); ++row) {
        const QRect rect = visualRect(row);
        if (rect.left() >= viewport()->width() || rect.top() >= viewport()->height())
            break;
        drawCheckBox(painter, checkBoxRect(row), m_items[row].checked);

        // Only the text part shows the selection; the check column keeps the list's colour.
        const QRect textRect = rect.adjusted(checkColumnWidth(), 0, 0, 0);
        const bool selected = row == m_current;
        if (selected)
            painter.fillRect(textRect, pal.color(QPalette::Highlight));
        painter.setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(textRect.adjusted(kTextIndent, 0, 0, 0),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_items[row].text);
        if (row == focusRow) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.rect = textRect;
            option.backgroundColor = pal.color(selected ? QPalette::Highlight : QPalette::Base);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }
}

void TCheckListBox::drawCheckBox(QPainter& painter, const QRect& box, bool checked) const
{
    const QPalette& pal = palette();
    // Flat: a one-pixel frame in the button-shadow colour instead of the sunken border.
    painter.fillRect(box, pal.color(isEnabled() ? QPalette::Base : QPalette::Button));
    painter.setPen(pal.color(QPalette::Dark));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    if (!checked)
        return;
    // The classic tick: seven columns of three-pixel strokes, falling for
    // three columns and rising for four, centred in the box.
    static constexpr int kDrop[7] = {2, 3, 4, 3, 2, 1, 0};
    const QColor ink = pal.color(QPalette::Text);
    const int left = box.left() + (box.width() - 7) / 2;
    const int top = box.top() + (box.height() - 7) / 2;
    for (int column = 0; column < 7; ++column)
        painter.fillRect(left + column, top + kDrop[column], 1, 3, ink);
}

void TCheckListBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QPoint position = event->position().toPoint();
    const int row = rowAt(position);
    if (row < 0)
        return;
    setCurrentRow(row);
    if (position.x() - visualRect(row).left() < checkColumnWidth())
        setChecked(row, !isChecked(row));
}

void TCheckListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is a press like any other: in the
    // check column it toggles again.
    mousePressEvent(event);
}

void TCheckListBox::mouseMoveEvent(QMouseEvent* event)
{
    // Dragging with the button held moves the selection, as in any list; it never toggles.
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const int row = rowAt(event->position().toPoint());
    if (row >= 0)
        setCurrentRow(row);
}

void TCheckListBox::keyPressEvent(QKeyEvent* event)
{
    const int last = count() - 1;
    const int across = multiColumn() ? rowsPerColumn() : 1;
    // With nothing selected yet, the arrows start at the first row.
    const int from = std::max(m_current, 0);
    const int step = m_current < 0 ? 0 : 1;
    int target;
    switch (event->key()) {
    case Qt::Key_Space:
        if (m_current >= 0)
            setChecked(m_current, !isChecked(m_current));
        return;
    case Qt::Key_Up:
        target = from - step;
        break;
    case Qt::Key_Down:
        target = from + step;
        break;
    case Qt::Key_Left:
        target = from - step * across;
        break;
    case Qt::Key_Right:
        target = from + step * across;
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = last;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (last >= 0)
        setCurrentRow(std::clamp(target, 0, last));
}

void TCheckListBox::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void TCheckListBox::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        updateScrollBars();
}

void TCheckListBox::scrollContentsBy(int, int)
{
    viewport()->update();
}

int TCheckListBox::checkBoxSize() const
{
    return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
}

int TCheckListBox::checkColumnWidth() const
{
    return checkBoxSize() + 2;
}

int TCheckListBox::rowsPerColumn() const
{
    // Decided on the whole inside height: a list that fits without the
    // scroll bar must not lose a row to it, nor keep the bar for ever because
    // the bar itself took that row away.
    const int height = rowHeight();
    const int inside = contentsRect().height();
    const int unobstructed = std::max(1, inside / height);
    if ((count() + unobstructed - 1) / unobstructed <= m_columns)
        return unobstructed;
    return std::max(1, (inside - horizontalScrollBar()->sizeHint().height()) / height);
}

int TCheckListBox::columnWidth() const
{
    return std::max(1, contentsRect().width() / m_columns);
}

void TCheckListBox::updateScrollBars()
{
    if (multiColumn()) {
        const int perColumn = rowsPerColumn();
        const int filled = (count() + perColumn - 1) / perColumn;
        horizontalScrollBar()->setRange(0, std::max(0, filled - m_columns));
        horizontalScrollBar()->setPageStep(m_columns);
        verticalScrollBar()->setRange(0, 0);
    } else {
        const int visible = std::max(1, contentsRect().height() / rowHeight());
        verticalScrollBar()->setRange(0, std::max(0, count() - visible));
        verticalScrollBar()->setPageStep(visible);
        horizontalScrollBar()->setRange(0, 0);
    }
}

void TCheckListBox::scrollTo(int row)
{
    if (row < 0)
        return;
    if (multiColumn()) {
        QScrollBar* bar = horizontalScrollBar();
        const int column = row / rowsPerColumn();
        if (column < bar->value())
            bar->setValue(column);
        else if (column >= bar->value() + m_columns)
            bar->setValue(column - m_columns + 1);
    } else {
        QScrollBar* bar = verticalScrollBar();
        if (row < bar->value())
            bar->setValue(row);
        else if (row >= bar->value() + bar->pageStep())
            bar->setValue(row - bar->pageStep() + 1);
    }
}

} // namespace app

#pragma once

#include "app/form/form1.h"

#include <QAbstractScrollArea>
#include <QString>

#include <vector>

class QPainter;

namespace app {

// A list whose items each carry a tick, shown as a flat check box in a
// column at the row's left. A left press in that column toggles the row's
// tick and selects the row; a press on the text only selects; Space toggles
// the selected row. While the list has the focus, the style's focus box marks
// the selected row, or the first row when none is selected.
//
// With more than one column the items run down the first column, then the
// next, as many rows to a column as fit the inside height; the columns share
// the inside width equally, and a horizontal scroll bar appears when they do
// not all fit. With one column the list scrolls vertically.
class TCheckListBox : public QAbstractScrollArea {
    Q_OBJECT
    Q_PROPERTY(int rowHeight READ rowHeight WRITE setRowHeight)
    Q_PROPERTY(int columns READ columns WRITE setColumns)
    Q_PROPERTY(int currentRow READ currentRow WRITE setCurrentRow NOTIFY currentRowChanged)

public:
    explicit TCheckListBox(QWidget* parent = nullptr);

    int count() const { return static_cast<int>(m_items.size()); }
    void addItem(const QString& text, bool checked = false);
    void clear();
    // Empty for a row that does not exist.
    QString itemText(int row) const;

    // False for a row that does not exist.
    bool isChecked(int row) const;
    // Ignores a row that does not exist.
    void setChecked(int row, bool checked);

    // Pixels per row; 0 (the default) fits the font and the check box.
    int rowHeight() const;
    void setRowHeight(int pixels);

    // 1 or less: a single column.
    int columns() const { return m_columns; }
    void setColumns(int columns);

    // -1 when no row is selected.
    int currentRow() const { return m_current; }
    // A row that does not exist clears the selection.
    void setCurrentRow(int row);

    // Where a row is drawn, and its check box, in viewport coordinates; null
    // for a row that does not exist.
    QRect visualRect(int row) const;
    QRect checkBoxRect(int row) const;
    // The row drawn at a viewport position, or -1.
    int rowAt(const QPoint& position) const;

    QSize sizeHint() const override;

signals:
    // A tick really changed, by the user or by the program.
    void checkedChanged(int row, bool checked);
    void currentRowChanged(int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Item {
        QString text;
        bool checked = false;
    };

    bool multiColumn() const { return m_columns > 1; }
    int checkBoxSize() const;
    int checkColumnWidth() const;
    int rowsPerColumn() const;
    int columnWidth() const;
    void updateScrollBars();
    void scrollTo(int row);
    void drawCheckBox(QPainter& painter, const QRect& box, bool checked) const;

    std::vector<Item> m_items;
    int m_rowHeight = 0;
    int m_columns = 1;
    int m_current = -1;
};

// A check list as the window's logic fills it and a shift reads its ticks.
// The list must outlive it.
class CheckListTicks : public CheckListView {
public:
    explicit CheckListTicks(TCheckListBox& list) : m_list(list) {}
    int count() const override { return m_list.count(); }
    bool ticked(int index) const override { return m_list.isChecked(index); }
    void clear() override { m_list.clear(); }
    void addItem(const std::string& text) override { m_list.addItem(QString::fromStdString(text)); }
    void setTicked(int index, bool ticked) override { m_list.setChecked(index, ticked); }

private:
    TCheckListBox& m_list;
};

} // namespace app

#include "app/StringGrid.h"

#include <QHeaderView>

namespace vorsilan::app {

TStringGrid::TStringGrid(int columnCount, int rowCount, QWidget* parent)
    : QTableWidget(rowCount - 1, columnCount, parent) {
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    for (int c = 0; c < columnCount; ++c) {
        setHorizontalHeaderItem(c, new QTableWidgetItem());
    }
    const QBrush fixed = palette().button();
    for (int r = 0; r < rowCount - 1; ++r) {
        for (int c = 0; c < columnCount; ++c) {
            auto* item = new QTableWidgetItem();
            if (c == 0) {
                item->setFlags(Qt::ItemIsEnabled);
                item->setBackground(fixed);
            } else {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            }
            setItem(r, c, item);
        }
    }
}

int TStringGrid::RowHeight() const {
    return verticalHeader()->defaultSectionSize();
}

void TStringGrid::SetRowHeight(int height) {
    verticalHeader()->setMinimumSectionSize(height);
    verticalHeader()->setDefaultSectionSize(height);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setFixedHeight(height + 2);
}

QString TStringGrid::Cells(int column, int row) const {
    if (column < 0 || column >= columnCount() || row < 0 || row >= RowCount()) {
        return {};
    }
    const QTableWidgetItem* cell = row == 0 ? horizontalHeaderItem(column) : item(row - 1, column);
    return cell != nullptr ? cell->text() : QString();
}

void TStringGrid::SetCells(int column, int row, const QString& text) {
    if (column < 0 || column >= columnCount() || row < 0 || row >= RowCount()) {
        return;
    }
    QTableWidgetItem* cell = row == 0 ? horizontalHeaderItem(column) : item(row - 1, column);
    if (cell != nullptr) {
        cell->setText(text);
    }
}

} // namespace vorsilan::app

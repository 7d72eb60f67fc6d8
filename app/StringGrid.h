#pragma once
// A string grid: ColCount × RowCount cells addressed as Cells(column, row), row 0 fixed as
// the header (Qt's header, so its column borders resize the columns) and column 0 fixed
// as the numbering column. Cells cannot be edited; ranges can be selected.

#include <QTableWidget>

namespace vorsilan::app {

class TStringGrid : public QTableWidget {
    Q_OBJECT
public:
    TStringGrid(int columnCount, int rowCount, QWidget* parent = nullptr);

    int ColCount() const { return columnCount(); }
    int RowCount() const { return rowCount() + 1; }
    int RowHeight() const;
    void SetRowHeight(int height);

    QString Cells(int column, int row) const;
    // A cell outside the grid is ignored.
    void SetCells(int column, int row, const QString& text);
};

} // namespace vorsilan::app

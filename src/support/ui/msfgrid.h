#pragma once

#include <QTableWidget>

namespace tobra {

// A grid whose first rows are fixed header rows inside the table itself, with
// a current row and column of its own (as the windows' grid routines expect):
// row 0 is the header, data rows start at FixedRows().
class FlexGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit FlexGrid(int cols, QWidget *parent = nullptr, int fixedRows = 1);

    int Rows() const { return rowCount(); }
    void setRows(int n);
    int Cols() const { return columnCount(); }
    int FixedRows() const { return fixedRows_; }
    int Row() const { return row_; }
    void setRow(int r);
    int Col() const { return col_; }
    void setCol(int c);
    QString TextMatrix(int r, int c) const;
    void setTextMatrix(int r, int c, const QString &text);
    // Text of the current cell.
    QString Text() const { return TextMatrix(row_, col_); }
    void setText(const QString &text) { setTextMatrix(row_, col_, text); }
    // Column width in twips (1/1440 inch), scaled to the screen.
    void setColWidthTwips(int c, int twips);
    void setWidthTwips(int twips);
    static int twipsToPixels(const QWidget *w, int twips);
    // Titles that assistive technology reads for the columns. The header
    // row inside the grid may show none, and Qt would offer the column
    // numbers instead; the titles go to the header view, which stays hidden.
    void setColumnTitles(const QStringList &titles) { setHorizontalHeaderLabels(titles); }

signals:
    // A click on a cell, after Row() and Col() point at it.
    void Click();

private:
    void styleRow(int r);
    int fixedRows_;
    int row_ = 0;
    int col_ = 0;
};

// Makes the cell current and sets its text.
void msfSetCell(FlexGrid *grid, const QString &text, int row, int col);
// Appends a row and makes it current when the grid has at most one row or the
// current row is the last; otherwise moves to the next row. Then column 0.
void msfNextRow(FlexGrid *grid);
// Removes rows from rowCount - 1 down to FixedRows + 1, blanks every cell and
// makes row 0 current: the fixed rows and one empty row stay.
void msfClearRows(FlexGrid *grid, int rowCount);
// Row 0, column 0.
void msfHome(FlexGrid *grid);

}  // namespace tobra

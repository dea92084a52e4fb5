#include "support/ui/msfgrid.h"

#include <QHeaderView>
#include <QSignalBlocker>

#include <optional>

namespace tobra {

FlexGrid::FlexGrid(int cols, QWidget *parent, int fixedRows) : QTableWidget(fixedRows, cols, parent), fixedRows_(fixedRows)
{
    horizontalHeader()->setVisible(false);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    // Tab moves on to the next control; the arrow keys move between rows.
    setTabKeyNavigation(false);
    horizontalHeader()->setStretchLastSection(true);
    for (int r = 0; r < fixedRows_; ++r)
        styleRow(r);
    connect(this, &QTableWidget::cellClicked, this, [this](int r, int c) {
        row_ = r;
        col_ = c;
        emit Click();
    });
}

void FlexGrid::setRows(int n)
{
    setRowCount(n);
    for (int r = 0; r < qMin(n, fixedRows_); ++r)
        styleRow(r);
    if (row_ >= n)
        row_ = qMax(0, n - 1);
}

void FlexGrid::setRow(int r)
{
    row_ = r;
    // A hidden grid keeps its current cell without telling the view: Qt 6.4
    // announces every change of it to accessibility as a focus change, seen
    // or not, so a grid filled row by row out of sight announced every row.
    // Shown, the view paints what the selection model holds.
    std::optional<QSignalBlocker> quiet;
    if (!isVisible())
        quiet.emplace(selectionModel());
    if (r >= fixedRows_ && r < rowCount())
        setCurrentCell(r, col_);
    else
        clearSelection();
}

void FlexGrid::setCol(int c)
{
    col_ = c;
}

QString FlexGrid::TextMatrix(int r, int c) const
{
    const QTableWidgetItem *it = item(r, c);
    return it ? it->text() : QString();
}

void FlexGrid::setTextMatrix(int r, int c, const QString &text)
{
    if (r < 0 || c < 0 || r >= rowCount() || c >= columnCount())
        return;
    QTableWidgetItem *it = item(r, c);
    if (!it) {
        it = new QTableWidgetItem;
        setItem(r, c, it);
        if (r < fixedRows_)
            styleRow(r);
    }
    it->setText(text);
}

int FlexGrid::twipsToPixels(const QWidget *w, int twips)
{
    return int(double(twips) * w->logicalDpiX() / 1440.0 + 0.5);
}

void FlexGrid::setColWidthTwips(int c, int twips)
{
    setColumnWidth(c, twipsToPixels(this, twips));
}

void FlexGrid::setWidthTwips(int twips)
{
    setMinimumWidth(twipsToPixels(this, twips));
}

void FlexGrid::styleRow(int r)
{
    for (int c = 0; c < columnCount(); ++c) {
        QTableWidgetItem *it = item(r, c);
        if (!it) {
            it = new QTableWidgetItem;
            setItem(r, c, it);
        }
        it->setFlags(Qt::ItemIsEnabled);
        QFont f = it->font();
        f.setBold(true);
        it->setFont(f);
        it->setBackground(palette().button());
    }
}

void msfSetCell(FlexGrid *grid, const QString &text, int row, int col)
{
    grid->setRow(row);
    grid->setCol(col);
    grid->setTextMatrix(row, col, text);
}

void msfNextRow(FlexGrid *grid)
{
    if (grid->Rows() <= 1 || grid->Row() == grid->Rows() - 1) {
        grid->setRows(grid->Rows() + 1);
        grid->setRow(grid->Rows() - 1);
    } else {
        grid->setRow(grid->Row() + 1);
    }
    grid->setCol(0);
}

void msfClearRows(FlexGrid *grid, int rowCount)
{
    for (int r = rowCount - 1; r >= grid->FixedRows() + 1; --r)
        if (r < grid->Rows())
            grid->removeRow(r);
    for (int r = 0; r < grid->Rows(); ++r)
        for (int c = 0; c < grid->Cols(); ++c)
            if (QTableWidgetItem *it = grid->item(r, c))
                it->setText(QString());
    grid->setRow(0);
}

void msfHome(FlexGrid *grid)
{
    grid->setRow(0);
    grid->setCol(0);
}

}  // namespace tobra

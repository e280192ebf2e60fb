#include "TableFit.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>

#include <algorithm>

void TableFit::fit(QTableWidget* table, int rowsShown)
{
    QHeaderView* header = table->horizontalHeader();
    table->resizeColumnsToContents();
    const int last = table->columnCount() - 1;
    for (int column = 0; column < last; ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(last, QHeaderView::Stretch);
    const int frame = 2 * table->frameWidth();
    int width = frame + table->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < table->columnCount(); ++column)
        width += table->columnWidth(column);
    int height = frame + header->sizeHint().height();
    for (int row = 0; row < std::min(table->rowCount(), rowsShown); ++row)
        height += table->rowHeight(row);
    table->setMinimumSize(width, height);
}

#pragma once

class QTableWidget;

// A list of settings in a dialog, sized so that every column reads whole
// and the first rows show without scrolling: the columns fit their
// contents, the last one takes what is left.
class TableFit {
public:
    static void fit(QTableWidget* table, int rowsShown);
};

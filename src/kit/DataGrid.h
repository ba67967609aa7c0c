#pragma once

#include <QFont>
#include <QString>

class DataSetModel;
class QTableView;

// What sets the kiosk's lists apart; the rest of a grid's behaviour is the same for all of them.
struct GridLook {
    QFont cells;
    QFont titles;
    int rowHeight = 17;
    bool lines = false;
    QString styleSheet;
};

// Makes `view` a read-only grid over `model`: whole rows, one at a time, no row indicator, no wrapping.
// The grid's current row and the dataset's current record follow each other both ways; a dataset without
// a current record leaves no row selected.
void setUpDataGrid(QTableView& view, DataSetModel& model, const GridLook& look);

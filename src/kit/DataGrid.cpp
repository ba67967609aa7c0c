#include "kit/DataGrid.h"

#include "kit/ErrorReport.h"
#include "server/DataSetModel.h"

#include <QHeaderView>
#include <QTableView>

#include <algorithm>

namespace {

void applyLook(QTableView& view, const GridLook& look) {
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setShowGrid(look.lines);
    view.setWordWrap(false);
    view.setFont(look.cells);
    view.verticalHeader()->hide();
    view.verticalHeader()->setDefaultSectionSize(look.rowHeight);
    view.horizontalHeader()->setFont(look.titles);
    view.horizontalHeader()->setHighlightSections(false);
    view.horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    view.setStyleSheet(look.styleSheet);
}

// The view keeps the column the user was on, so that moving through the rows does not jump sideways.
void showCurrentRecord(QTableView& view, const DataSetModel& model) {
    const int row = model.currentRow();
    if (row < 0 || row >= model.rowCount()) {
        view.clearSelection();
        return;
    }
    view.setCurrentIndex(model.index(row, std::max(view.currentIndex().column(), 0)));
}

}  // namespace

void setUpDataGrid(QTableView& view, DataSetModel& model, const GridLook& look) {
    view.setModel(&model);
    applyLook(view, look);
    // The model announces the current row after every reset, insert and remove too, since the view's own
    // row may have moved while the record stayed.
    QObject::connect(&model, &DataSetModel::currentRowChanged, &view,
                     [&view, &model] { showCurrentRecord(view, model); });
    connectGuarded(view.selectionModel(), &QItemSelectionModel::currentRowChanged, &model,
                   [&model](const QModelIndex& current, const QModelIndex&) {
                       if (current.isValid()) {
                           model.setCurrentRow(current.row());
                       }
                   });
    showCurrentRecord(view, model);
}

#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

class TClientDataSet;

// A grid's view of a TClientDataSet: one row per row of the dataset's current view (filtered, in index
// order), one column per shown field. Cells show the fields' display texts (get-text handler, display
// format, plain text); numbers are right-aligned. The model follows every change of the dataset with the
// proper reset, insert, remove and data-changed signals, and links the grid's current row to the
// dataset's current record both ways.
class DataSetModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit DataSetModel(TClientDataSet& dataSet, QObject* parent = nullptr);

    // The fields shown, by name and in this order; empty: every visible field in field order. Call again
    // (or with the same list) after changing fields' Visible flags or labels.
    void setColumns(const QStringList& fieldNames);
    // The field (its index in the dataset) shown in a column.
    int fieldIndex(int column) const { return m_fields.at(static_cast<std::size_t>(column)); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The dataset's current record as a row of this model, -1 when there is none.
    int currentRow() const { return m_currentRow; }
    // Moves the dataset's current record (which fires its AfterScroll).
    void setCurrentRow(int row);

signals:
    // The current row moved; also sent after every insert, remove and reset, because a view's own
    // selection has then moved even when the number stayed.
    void currentRowChanged(int row);

private:
    void resolveColumns();
    void followCurrent();
    void announceCurrent();
    Qt::Alignment alignment(int column) const;

    TClientDataSet& m_dataSet;
    QStringList m_requested;
    std::vector<int> m_fields;
    int m_currentRow = -1;
};

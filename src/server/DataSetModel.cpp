#include "server/DataSetModel.h"

#include "server/ClientDataSet.h"

DataSetModel::DataSetModel(TClientDataSet& dataSet, QObject* parent)
    : QAbstractTableModel(parent), m_dataSet(dataSet) {
    connect(&dataSet, &TClientDataSet::aboutToReset, this, &DataSetModel::beginResetModel);
    connect(&dataSet, &TClientDataSet::reset, this, [this] {
        resolveColumns();
        endResetModel();
        announceCurrent();
    });
    connect(&dataSet, &TClientDataSet::rowAboutToBeInserted, this,
            [this](int row) { beginInsertRows({}, row, row); });
    connect(&dataSet, &TClientDataSet::rowInserted, this, [this] {
        endInsertRows();
        announceCurrent();
    });
    connect(&dataSet, &TClientDataSet::rowAboutToBeRemoved, this,
            [this](int row) { beginRemoveRows({}, row, row); });
    connect(&dataSet, &TClientDataSet::rowRemoved, this, [this] {
        endRemoveRows();
        announceCurrent();
    });
    connect(&dataSet, &TClientDataSet::rowChanged, this, [this](int row) {
        if (columnCount() > 0) {
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
        }
    });
    connect(&dataSet, &TClientDataSet::AfterScroll, this, &DataSetModel::followCurrent);
    resolveColumns();
    followCurrent();
}

void DataSetModel::setColumns(const QStringList& fieldNames) {
    beginResetModel();
    m_requested = fieldNames;
    resolveColumns();
    endResetModel();
    announceCurrent();
}

void DataSetModel::resolveColumns() {
    m_fields.clear();
    if (m_requested.isEmpty()) {
        for (int i = 0; i < m_dataSet.fieldCount(); ++i) {
            if (m_dataSet.field(i).Visible()) {
                m_fields.push_back(i);
            }
        }
        return;
    }
    // A requested field that the dataset does not have (yet) is left out until it appears.
    for (const QString& name : m_requested) {
        if (const TField* field = m_dataSet.FindField(name)) {
            m_fields.push_back(field->Index());
        }
    }
}

void DataSetModel::followCurrent() {
    const int current = m_dataSet.currentRow();
    if (current != m_currentRow) {
        m_currentRow = current;
        emit currentRowChanged(current);
    }
}

void DataSetModel::announceCurrent() {
    m_currentRow = m_dataSet.currentRow();
    emit currentRowChanged(m_currentRow);
}

void DataSetModel::setCurrentRow(int row) {
    if (row != m_dataSet.currentRow()) {
        m_dataSet.setCurrentRow(row);
    }
}

int DataSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_dataSet.RecordCount();
}

int DataSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_fields.size());
}

Qt::Alignment DataSetModel::alignment(int column) const {
    const FieldType type = m_dataSet.field(fieldIndex(column)).DataType();
    const bool number = type == FieldType::Float || type == FieldType::Integer;
    return (number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return m_dataSet.displayTextAt(index.row(), fieldIndex(index.column()));
        case Qt::EditRole:
            return m_dataSet.valueAt(index.row(), fieldIndex(index.column()));
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(alignment(index.column()));
        default:
            return {};
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return m_dataSet.field(fieldIndex(section)).DisplayLabel();
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(alignment(section));
        default:
            return {};
    }
}

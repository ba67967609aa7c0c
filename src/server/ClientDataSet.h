#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "server/DataPacket.h"
#include "server/FilterExpression.h"

class TClientDataSet;

// One column of a TClientDataSet: its definition, how it shows, and (through the dataset) the value of the
// current record. Declared fields live as long as the dataset; fields taken from a packet live until the
// next load or Close.
class TField {
public:
    // Turns a value of the field (possibly null) into the text a grid shows.
    using GetTextHandler = std::function<QString(const QVariant& value)>;

    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    QString FieldName() const { return m_def.name; }
    FieldType DataType() const { return m_def.type; }
    int Size() const { return m_def.size; }
    int Index() const { return m_index; }
    // Declared by the screen (as opposed to taken from a loaded packet).
    bool Declared() const { return m_declared; }

    // The column title; the field name when none was given.
    QString DisplayLabel() const { return m_displayLabel.isEmpty() ? m_def.name : m_displayLabel; }
    TField& setDisplayLabel(const QString& label);
    bool Visible() const { return m_visible; }
    TField& setVisible(bool visible);
    // "0.00", "#,##0.00", "0.000" for numbers; "DD/MM" and the like for date-times.
    QString DisplayFormat() const { return m_displayFormat; }
    TField& setDisplayFormat(const QString& format);
    bool ReadOnly() const { return m_readOnly; }
    TField& setReadOnly(bool readOnly);
    TField& setOnGetText(GetTextHandler handler);

    // The current record's value; null when there is no current record.
    QVariant value() const;
    bool isNull() const { return !value().isValid(); }
    QString asString() const;
    double asFloat() const;  // a null value reads 0
    qlonglong asInteger() const;
    QDateTime asDateTime() const;
    bool asBoolean() const;
    // What a grid shows for the current record.
    QString DisplayText() const { return textOf(value()); }
    // Changes the current record; the dataset must be in Edit or Insert state and the field not read-only.
    void setValue(const QVariant& value);

    // The shown text of any value: the get-text handler, else the display format, else the plain text.
    QString textOf(const QVariant& value) const;

private:
    friend class TClientDataSet;
    TField(TClientDataSet& dataSet, FieldDef def, int index, bool declared);

    TClientDataSet& m_dataSet;
    FieldDef m_def;
    int m_index;
    int m_column = 0;  // where the field's value sits in a stored row
    bool m_declared;
    QString m_displayLabel;
    bool m_visible = true;
    QString m_displayFormat;
    bool m_readOnly = false;
    GetTextHandler m_onGetText;
};

// An in-memory table loaded whole from a data packet, with a current record, indexes and a filter.
//
// Positions (row numbers) count from 0 in the current view: the rows that pass the filter, in the order
// of the current index (or in the order the packet sent them). Signals describe every change of that
// view so that a model can follow it; AfterScroll follows every navigation call and every change that
// repositions the current record.
class TClientDataSet : public QObject {
    Q_OBJECT

public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit TClientDataSet(QObject* parent = nullptr);
    ~TClientDataSet() override;

    // ---- fields ----
    // Declares a field; only while the dataset is closed. The packet loaded later must carry it.
    TField& addField(const QString& name, FieldType type, int size = 0);
    // Declares the fields of an answer, in its order (see server/Answers.h).
    void addFields(const QList<FieldDef>& fields);
    // Hides the named fields from grids and lists: what the answer carries only for the program's use.
    void hideFields(const QStringList& names);
    int fieldCount() const { return static_cast<int>(m_fields.size()); }
    TField& field(int index) const { return *m_fields.at(static_cast<std::size_t>(index)); }
    // Field names are found without regard to letter case.
    TField* FindField(const QString& name) const;
    TField& FieldByName(const QString& name) const;  // raises DataSetError when there is no such field

    // ---- contents ----
    // Replaces the contents with a packet and puts the cursor on the first row. Declared fields must be in
    // the packet with a compatible type (a float field accepts an integer column); other packet fields are
    // kept, readable by name and hidden from grids; with no declared field every packet field is taken
    // and shown. Raises DataSetError (nothing changes) when the packet does not fit.
    void loadPacket(const DataPacket& packet);
    // The same for a remote call's answer that holds a packet.
    void setData(const QVariant& answer);
    bool Active() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    void Open();           // an empty dataset of the declared fields, unless already open
    void CreateDataSet();  // closes and creates anew, empty; needs declared fields
    void Close();          // drops the rows and the fields taken from a packet

    // ---- cursor ----
    bool IsEmpty() const { return m_view.empty(); }
    int RecordCount() const { return static_cast<int>(m_view.size()); }
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    int currentRow() const { return m_current; }  // -1 when empty
    void First();
    void Last();
    void Next();   // on the last row: stays and sets Eof
    void Prior();  // on the first row: stays and sets Bof
    void setCurrentRow(int row);
    // Moves to the first row of the view whose field equals the value; false (no move) when there is none.
    bool Locate(const QString& fieldName, const QVariant& value);

    // ---- editing ----
    // A new empty row in front of the current row (at the end of an empty view); it becomes current.
    void Insert();
    void Edit();
    // Stores the row being edited or inserted; the row then takes its place under the index and filter.
    void Post();
    void Cancel();
    // Deletes the current row; the row after it (or the new last row) becomes current.
    void Delete();

    // ---- indexes ----
    void clearIndexDefs();
    // An index named `name` on one field, or on several separated by ';', ascending. Texts sort without
    // regard to letter case or accents (ties by exact text); nulls first; equal keys keep their order.
    void addIndexDef(const QString& name, const QString& fields);
    QStringList indexNames() const;
    QString IndexName() const { return m_indexName; }
    // "" for the order of the packet. Keeps the current record when it stays in view.
    void setIndexName(const QString& name);

    // ---- filter (language in server/FilterExpression.h) ----
    QString Filter() const { return m_filter.text(); }
    // Reads the expression once; raises FilterError (nothing changes) when it is malformed or, on an open
    // dataset, names an unknown field or mixes kinds. Refilters and goes to the first row when Filtered.
    void setFilter(const QString& text);
    bool Filtered() const { return m_filtered; }
    void setFiltered(bool on);

    // ---- rows of the view, for models ----
    QVariant valueAt(int row, int fieldIndex) const;
    QString displayTextAt(int row, int fieldIndex) const;

signals:
    void AfterScroll();
    void aboutToReset();
    void reset();
    void rowAboutToBeInserted(int row);
    void rowInserted(int row);
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    void rowChanged(int row);

private:
    friend class TField;
    using Row = QVariantList;
    struct IndexDef {
        QString name;
        QStringList fields;
    };
    // The fields by name, with where each sits in a stored row, for indexes and filters.
    struct SchemaField {
        QString name;
        filter::Column column;
    };
    using Schema = std::vector<SchemaField>;

    QVariant cell(const Row& row, int fieldIndex) const;
    QVariant currentValue(int fieldIndex) const;
    void setCurrentValue(int fieldIndex, const QVariant& value);
    void requireActive() const;
    void checkBrowseMode();
    Schema schema() const;
    std::vector<filter::Column> indexColumns(const Schema& fields) const;
    filter::Binding filterBinding(const Schema& fields) const;
    static filter::ColumnResolver resolverOver(const Schema& fields);
    void rebuildView();
    void sortByIndex(std::vector<Row*>& rows) const;
    void resetView(Row* keep);
    void placeCursor(int row);
    void moveTo(int row);

    std::vector<std::unique_ptr<TField>> m_fields;
    int m_declaredCount = 0;
    // Rows are kept as the packet sent them (its column order, shared with the decoded packet, no copy);
    // fields map onto columns. The deque keeps each row in place while the vectors below reorder pointers.
    std::deque<Row> m_storage;
    int m_width = 0;              // columns of a stored row
    std::vector<Row*> m_rows;     // in the order the packet sent them and inserts placed them
    std::vector<Row*> m_ordered;  // m_rows in index order, rebuilt only when rows or the index change
    bool m_orderStale = true;
    std::vector<Row*> m_view;  // m_ordered filtered
    int m_current = -1;
    bool m_bof = true;
    bool m_eof = true;
    State m_state = State::Inactive;
    Row m_buffer;  // values of the row being edited or inserted

    std::vector<IndexDef> m_indexDefs;
    QString m_indexName;
    std::vector<filter::Column> m_indexColumns;

    filter::Expression m_filter;
    filter::Binding m_filterBinding;
    bool m_filtered = false;
};

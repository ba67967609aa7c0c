#include "server/ClientDataSet.h"

#include "kit/core/Formats.h"
#include "server/ServerErrors.h"

#include <algorithm>

namespace {

bool compatible(FieldType declared, FieldType sent) {
    return declared == sent || (declared == FieldType::Float && sent == FieldType::Integer);
}

// A packet value in the representation of the dataset field that receives it.
QVariant received(const QVariant& cell, FieldType type) {
    if (type == FieldType::Float && cell.isValid()) {
        return cell.toDouble();
    }
    return cell;
}

QVariant assigned(const QVariant& value, const TField& field) {
    if (!value.isValid()) {
        return {};
    }
    bool ok = true;
    QVariant converted;
    switch (field.DataType()) {
        case FieldType::String:
            converted = value.toString();
            break;
        case FieldType::Float:
            converted = value.toDouble(&ok);
            break;
        case FieldType::Integer:
            converted = value.toLongLong(&ok);
            break;
        case FieldType::Boolean:
            converted = value.toBool();
            break;
        case FieldType::DateTime:
            converted = value.typeId() == QMetaType::QDate ? value.toDate().startOfDay() : value.toDateTime();
            ok = converted.toDateTime().isValid();
            break;
    }
    if (!ok) {
        throw DataSetError(QStringLiteral("Valor inválido para o campo %1: \"%2\".")
                               .arg(field.FieldName(), value.toString()));
    }
    return converted;
}

QString plainText(const QVariant& value, FieldType type) {
    if (!value.isValid()) {
        return {};
    }
    switch (type) {
        case FieldType::Float:
            return formats::generalNumberText(value.toDouble());
        case FieldType::DateTime:
            return formats::dateTimeText(value.toDateTime());
        case FieldType::Boolean:
            return value.toBool() ? QStringLiteral("Sim") : QStringLiteral("Não");
        default:
            return value.toString();
    }
}

bool sameValue(const QVariant& cell, const QVariant& wanted, FieldType type) {
    if (type == FieldType::String) {
        return cell.toString() == wanted.toString();
    }
    if (!cell.isValid() || !wanted.isValid()) {
        return cell.isValid() == wanted.isValid();
    }
    switch (type) {
        case FieldType::Boolean:
            return cell.toBool() == wanted.toBool();
        case FieldType::DateTime:
            return cell.toDateTime() == wanted.toDateTime();
        default:
            return cell.toDouble() == wanted.toDouble();
    }
}

// Texts sort by their letters without case or accents first, then by their exact characters.
QString textSortKey(const QString& text) {
    QString key;
    key.reserve(text.size() * 2 + 1);
    for (QChar c : text.normalized(QString::NormalizationForm_D)) {
        if (c.category() != QChar::Mark_NonSpacing) {
            key.append(c.toCaseFolded());
        }
    }
    return key + QChar(0) + text;
}

QVariant sortKey(const QVariant& cell, FieldType type) {
    if (!cell.isValid()) {
        return {};
    }
    switch (type) {
        case FieldType::String:
            return textSortKey(cell.toString());
        case FieldType::DateTime:
            return cell.toDateTime().toMSecsSinceEpoch();
        default:
            return cell.toDouble();
    }
}

int compareKeys(const QVariant& a, const QVariant& b) {
    if (!a.isValid() || !b.isValid()) {
        return int(a.isValid()) - int(b.isValid());
    }
    if (a.typeId() == QMetaType::QString) {
        return QString::compare(a.toString(), b.toString(), Qt::CaseSensitive);
    }
    if (a.typeId() == QMetaType::LongLong) {
        return a.toLongLong() < b.toLongLong() ? -1 : (a.toLongLong() > b.toLongLong() ? 1 : 0);
    }
    return a.toDouble() < b.toDouble() ? -1 : (a.toDouble() > b.toDouble() ? 1 : 0);
}

}  // namespace

// ---- TField ----

TField::TField(TClientDataSet& dataSet, FieldDef def, int index, bool declared)
    : m_dataSet(dataSet), m_def(std::move(def)), m_index(index), m_declared(declared) {}

TField& TField::setDisplayLabel(const QString& label) {
    m_displayLabel = label;
    return *this;
}

TField& TField::setVisible(bool visible) {
    m_visible = visible;
    return *this;
}

TField& TField::setDisplayFormat(const QString& format) {
    m_displayFormat = format;
    return *this;
}

TField& TField::setReadOnly(bool readOnly) {
    m_readOnly = readOnly;
    return *this;
}

TField& TField::setOnGetText(GetTextHandler handler) {
    m_onGetText = std::move(handler);
    return *this;
}

QVariant TField::value() const {
    return m_dataSet.currentValue(m_index);
}

QString TField::asString() const {
    return plainText(value(), m_def.type);
}

double TField::asFloat() const {
    return value().toDouble();
}

qlonglong TField::asInteger() const {
    const QVariant current = value();
    return m_def.type == FieldType::Float ? qRound64(current.toDouble()) : current.toLongLong();
}

QDateTime TField::asDateTime() const {
    return value().toDateTime();
}

bool TField::asBoolean() const {
    return value().toBool();
}

void TField::setValue(const QVariant& value) {
    m_dataSet.setCurrentValue(m_index, value);
}

QString TField::textOf(const QVariant& value) const {
    if (m_onGetText) {
        return m_onGetText(value);
    }
    if (m_displayFormat.isEmpty() || !value.isValid()) {
        return plainText(value, m_def.type);
    }
    switch (m_def.type) {
        case FieldType::Float:
        case FieldType::Integer:
            return formats::formatFloat(m_displayFormat, value.toDouble());
        case FieldType::DateTime:
            return formats::formatDate(m_displayFormat, value.toDateTime());
        default:
            return plainText(value, m_def.type);
    }
}

// ---- TClientDataSet: fields and contents ----

TClientDataSet::TClientDataSet(QObject* parent) : QObject(parent) {}

TClientDataSet::~TClientDataSet() = default;

TField& TClientDataSet::addField(const QString& name, FieldType type, int size) {
    if (Active()) {
        throw DataSetError(QStringLiteral("Campos só podem ser declarados com o conjunto de dados fechado."));
    }
    if (name.isEmpty() || FindField(name) != nullptr) {
        throw DataSetError(QStringLiteral("Nome de campo vazio ou repetido: \"%1\".").arg(name));
    }
    m_fields.push_back(
        std::unique_ptr<TField>(new TField(*this, FieldDef{name, type, size}, fieldCount(), true)));
    m_declaredCount = fieldCount();
    return *m_fields.back();
}

void TClientDataSet::addFields(const QList<FieldDef>& fields) {
    for (const FieldDef& field : fields) {
        addField(field.name, field.type, field.size);
    }
}

void TClientDataSet::hideFields(const QStringList& names) {
    for (const QString& name : names) {
        FieldByName(name).setVisible(false);
    }
}

TField* TClientDataSet::FindField(const QString& name) const {
    for (const std::unique_ptr<TField>& field : m_fields) {
        if (field->FieldName().compare(name, Qt::CaseInsensitive) == 0) {
            return field.get();
        }
    }
    return nullptr;
}

TField& TClientDataSet::FieldByName(const QString& name) const {
    TField* field = FindField(name);
    if (field == nullptr) {
        throw DataSetError(QStringLiteral("Campo \"%1\" não encontrado.").arg(name));
    }
    return *field;
}

TClientDataSet::Schema TClientDataSet::schema() const {
    Schema fields;
    for (const std::unique_ptr<TField>& field : m_fields) {
        fields.push_back({field->FieldName(), {field->m_column, field->DataType()}});
    }
    return fields;
}

filter::ColumnResolver TClientDataSet::resolverOver(const Schema& fields) {
    return [&fields](const QString& name) -> std::optional<filter::Column> {
        for (const SchemaField& field : fields) {
            if (field.name.compare(name, Qt::CaseInsensitive) == 0) {
                return field.column;
            }
        }
        return std::nullopt;
    };
}

void TClientDataSet::loadPacket(const DataPacket& packet) {
    // Which packet column feeds each field: the declared ones first, then the packet's others in its order.
    std::vector<qsizetype> sources;
    std::vector<FieldDef> fields;
    for (int i = 0; i < m_declaredCount; ++i) {
        const FieldDef& declared = m_fields[static_cast<std::size_t>(i)]->m_def;
        const auto sent = std::find_if(packet.fields.begin(), packet.fields.end(), [&](const FieldDef& f) {
            return f.name.compare(declared.name, Qt::CaseInsensitive) == 0;
        });
        if (sent == packet.fields.end()) {
            throw DataSetError(QStringLiteral("O pacote de dados não traz o campo %1.").arg(declared.name));
        }
        if (!compatible(declared.type, sent->type)) {
            throw DataSetError(
                QStringLiteral("O campo %1 chegou como %2, mas foi declarado como %3.")
                    .arg(declared.name, fieldTypeName(sent->type), fieldTypeName(declared.type)));
        }
        sources.push_back(sent - packet.fields.begin());
        fields.push_back(declared);
    }
    for (qsizetype c = 0; c < packet.fields.size(); ++c) {
        if (std::find(sources.begin(), sources.end(), c) == sources.end()) {
            sources.push_back(c);
            fields.push_back(packet.fields[c]);
        }
    }
    // Everything that can fail is checked before the dataset changes.
    Schema newSchema;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        newSchema.push_back({fields[k].name, {static_cast<int>(sources[k]), fields[k].type}});
    }
    std::vector<filter::Column> indexColumns = this->indexColumns(newSchema);
    filter::Binding binding = m_filtered ? filterBinding(newSchema) : filter::Binding{};
    for (const QVariantList& sentRow : packet.rows) {
        if (sentRow.size() != packet.fields.size()) {
            throw DataSetError(
                QStringLiteral("O pacote de dados traz uma linha com %1 valores para %2 campos.")
                    .arg(sentRow.size())
                    .arg(packet.fields.size()));
        }
    }
    std::vector<std::unique_ptr<TField>> extras;
    for (std::size_t k = static_cast<std::size_t>(m_declaredCount); k < fields.size(); ++k) {
        extras.push_back(std::unique_ptr<TField>(new TField(*this, fields[k], static_cast<int>(k), false)));
        extras.back()->setVisible(m_declaredCount == 0);
    }

    emit aboutToReset();
    m_fields.resize(static_cast<std::size_t>(m_declaredCount));
    std::move(extras.begin(), extras.end(), std::back_inserter(m_fields));
    for (std::size_t k = 0; k < fields.size(); ++k) {
        m_fields[k]->m_column = static_cast<int>(sources[k]);
    }
    // The rows share their values with the decoded packet: loading copies no cell.
    m_storage.assign(packet.rows.begin(), packet.rows.end());
    m_width = static_cast<int>(packet.fields.size());
    m_rows.clear();
    for (Row& row : m_storage) {
        m_rows.push_back(&row);
    }
    m_orderStale = true;
    m_state = State::Browse;
    m_buffer.clear();
    m_indexColumns = std::move(indexColumns);
    m_filterBinding = std::move(binding);
    rebuildView();
    placeCursor(0);
    emit reset();
    emit AfterScroll();
}

void TClientDataSet::setData(const QVariant& answer) {
    loadPacket(packetFrom(answer));
}

void TClientDataSet::Open() {
    if (!Active()) {
        CreateDataSet();
    }
}

void TClientDataSet::CreateDataSet() {
    if (m_declaredCount == 0) {
        throw DataSetError(QStringLiteral("Não há campos declarados para criar o conjunto de dados."));
    }
    DataPacket empty;
    for (int i = 0; i < m_declaredCount; ++i) {
        empty.fields.append(m_fields[static_cast<std::size_t>(i)]->m_def);
    }
    loadPacket(empty);
}

void TClientDataSet::Close() {
    if (!Active()) {
        return;
    }
    emit aboutToReset();
    m_fields.resize(static_cast<std::size_t>(m_declaredCount));
    m_storage.clear();
    m_rows.clear();
    m_ordered.clear();
    m_orderStale = true;
    m_view.clear();
    m_state = State::Inactive;
    m_buffer.clear();
    m_indexColumns.clear();
    m_filterBinding = {};
    placeCursor(0);
    emit reset();
}

void TClientDataSet::requireActive() const {
    if (!Active()) {
        throw DataSetError(QStringLiteral("O conjunto de dados está fechado."));
    }
}

// ---- cursor ----

void TClientDataSet::placeCursor(int row) {
    m_current = m_view.empty() ? -1 : std::clamp(row, 0, RecordCount() - 1);
    m_bof = m_current <= 0;
    m_eof = m_view.empty();
}

void TClientDataSet::moveTo(int row) {
    m_current = row;
    m_bof = false;
    m_eof = false;
    emit AfterScroll();
}

void TClientDataSet::First() {
    if (!Active()) {
        return;
    }
    checkBrowseMode();
    placeCursor(0);
    emit AfterScroll();
}

void TClientDataSet::Last() {
    if (!Active()) {
        return;
    }
    checkBrowseMode();
    placeCursor(RecordCount() - 1);
    m_bof = m_view.empty();
    m_eof = true;
    emit AfterScroll();
}

void TClientDataSet::Next() {
    if (!Active()) {
        return;
    }
    checkBrowseMode();
    if (m_current + 1 < RecordCount()) {
        moveTo(m_current + 1);
        return;
    }
    m_eof = true;
    emit AfterScroll();
}

void TClientDataSet::Prior() {
    if (!Active()) {
        return;
    }
    checkBrowseMode();
    if (m_current > 0) {
        moveTo(m_current - 1);
        return;
    }
    m_bof = true;
    emit AfterScroll();
}

void TClientDataSet::setCurrentRow(int row) {
    requireActive();
    checkBrowseMode();
    if (row < 0 || row >= RecordCount()) {
        throw DataSetError(
            QStringLiteral("Linha %1 fora do conjunto de dados de %2 linhas.").arg(row).arg(RecordCount()));
    }
    moveTo(row);
}

bool TClientDataSet::Locate(const QString& fieldName, const QVariant& value) {
    requireActive();
    const TField& field = FieldByName(fieldName);
    checkBrowseMode();
    for (int row = 0; row < RecordCount(); ++row) {
        if (sameValue(valueAt(row, field.Index()), value, field.DataType())) {
            moveTo(row);
            return true;
        }
    }
    return false;
}

// ---- editing ----

QVariant TClientDataSet::cell(const Row& row, int fieldIndex) const {
    const TField& field = *m_fields[static_cast<std::size_t>(fieldIndex)];
    return received(row[field.m_column], field.DataType());
}

QVariant TClientDataSet::currentValue(int fieldIndex) const {
    if (m_current < 0) {
        return {};
    }
    return cell(m_state == State::Browse ? *m_view[static_cast<std::size_t>(m_current)] : m_buffer,
                fieldIndex);
}

void TClientDataSet::setCurrentValue(int fieldIndex, const QVariant& value) {
    if (m_state != State::Edit && m_state != State::Insert) {
        throw DataSetError(QStringLiteral("O conjunto de dados não está em edição nem em inclusão."));
    }
    const TField& field = *m_fields[static_cast<std::size_t>(fieldIndex)];
    if (field.ReadOnly()) {
        throw DataSetError(QStringLiteral("O campo %1 é somente leitura.").arg(field.FieldName()));
    }
    m_buffer[field.m_column] = assigned(value, field);
    emit rowChanged(m_current);
}

void TClientDataSet::checkBrowseMode() {
    if (m_state == State::Edit || m_state == State::Insert) {
        Post();
    }
}

void TClientDataSet::Insert() {
    requireActive();
    checkBrowseMode();
    const int at = std::max(m_current, 0);
    const auto storageAt =
        m_view.empty() ? m_rows.end()
                       : std::find(m_rows.begin(), m_rows.end(), m_view[static_cast<std::size_t>(at)]);
    Row* inserted = &m_storage.emplace_back(m_width);
    emit rowAboutToBeInserted(at);
    m_rows.insert(storageAt, inserted);
    m_orderStale = true;
    m_view.insert(m_view.begin() + at, inserted);
    m_buffer = *inserted;
    m_state = State::Insert;
    m_current = at;
    m_bof = false;
    m_eof = false;
    emit rowInserted(at);
    emit AfterScroll();
}

void TClientDataSet::Edit() {
    requireActive();
    if (m_state != State::Browse) {
        return;
    }
    if (m_view.empty()) {
        throw DataSetError(QStringLiteral("Não há registro corrente para editar."));
    }
    m_buffer = *m_view[static_cast<std::size_t>(m_current)];
    m_state = State::Edit;
}

void TClientDataSet::Post() {
    if (m_state != State::Edit && m_state != State::Insert) {
        return;
    }
    Row* posted = m_view[static_cast<std::size_t>(m_current)];
    *posted = std::exchange(m_buffer, {});
    m_state = State::Browse;
    m_orderStale = true;
    const bool reorders = !m_indexColumns.empty() || (m_filtered && !m_filter.isEmpty());
    if (reorders) {
        resetView(posted);
    } else {
        emit rowChanged(m_current);
    }
}

void TClientDataSet::Cancel() {
    if (m_state == State::Insert) {
        m_state = State::Browse;
        m_buffer.clear();
        Delete();
    } else if (m_state == State::Edit) {
        m_state = State::Browse;
        m_buffer.clear();
        emit rowChanged(m_current);
    }
}

void TClientDataSet::Delete() {
    requireActive();
    if (m_state != State::Browse) {
        Cancel();
        return;
    }
    if (m_view.empty()) {
        throw DataSetError(QStringLiteral("Não há registro para excluir."));
    }
    const int at = m_current;
    Row* deleted = m_view[static_cast<std::size_t>(at)];
    emit rowAboutToBeRemoved(at);
    m_view.erase(m_view.begin() + at);
    std::erase(m_rows, deleted);
    *deleted = Row();  // the place stays in the storage until the next load; its values go now
    m_orderStale = true;
    placeCursor(at);
    m_bof = m_view.empty();
    emit rowRemoved(at);
    emit AfterScroll();
}

// ---- indexes and filter ----

void TClientDataSet::clearIndexDefs() {
    m_indexDefs.clear();
    if (!m_indexName.isEmpty()) {
        setIndexName({});
    }
}

void TClientDataSet::addIndexDef(const QString& name, const QString& fields) {
    const QStringList names = fields.split(u';', Qt::SkipEmptyParts);
    if (name.isEmpty() || names.isEmpty() || indexNames().contains(name, Qt::CaseInsensitive)) {
        throw DataSetError(QStringLiteral("Índice \"%1\" sem nome, sem campos ou repetido.").arg(name));
    }
    IndexDef def{name, {}};
    for (const QString& field : names) {
        def.fields.append(field.trimmed());
    }
    m_indexDefs.push_back(std::move(def));
}

QStringList TClientDataSet::indexNames() const {
    QStringList names;
    for (const IndexDef& def : m_indexDefs) {
        names.append(def.name);
    }
    return names;
}

std::vector<filter::Column> TClientDataSet::indexColumns(const Schema& fields) const {
    std::vector<filter::Column> columns;
    if (m_indexName.isEmpty()) {
        return columns;
    }
    const auto def = std::find_if(m_indexDefs.begin(), m_indexDefs.end(), [&](const IndexDef& d) {
        return d.name.compare(m_indexName, Qt::CaseInsensitive) == 0;
    });
    if (def == m_indexDefs.end()) {
        return columns;
    }
    const filter::ColumnResolver resolve = resolverOver(fields);
    for (const QString& name : def->fields) {
        const std::optional<filter::Column> column = resolve(name);
        if (!column) {
            throw DataSetError(
                QStringLiteral("O índice %1 usa o campo %2, que não existe.").arg(m_indexName, name));
        }
        columns.push_back(*column);
    }
    return columns;
}

void TClientDataSet::setIndexName(const QString& name) {
    if (!name.isEmpty() && !indexNames().contains(name, Qt::CaseInsensitive)) {
        throw DataSetError(QStringLiteral("Índice \"%1\" não definido.").arg(name));
    }
    checkBrowseMode();
    const QString previous = std::exchange(m_indexName, name);
    if (!Active()) {
        return;
    }
    try {
        m_indexColumns = indexColumns(schema());
        m_orderStale = true;
    } catch (const DataSetError&) {
        m_indexName = previous;
        throw;
    }
    resetView(m_current < 0 ? nullptr : m_view[static_cast<std::size_t>(m_current)]);
}

filter::Binding TClientDataSet::filterBinding(const Schema& fields) const {
    return m_filter.bind(resolverOver(fields));
}

void TClientDataSet::setFilter(const QString& text) {
    filter::Expression parsed = filter::Expression::parse(text);
    filter::Binding binding = Active() ? parsed.bind(resolverOver(schema())) : filter::Binding{};
    checkBrowseMode();
    m_filter = std::move(parsed);
    m_filterBinding = std::move(binding);
    if (m_filtered && Active()) {
        resetView(nullptr);
    }
}

void TClientDataSet::setFiltered(bool on) {
    if (on == m_filtered) {
        return;
    }
    if (on && Active()) {
        m_filterBinding = filterBinding(schema());
    }
    checkBrowseMode();
    m_filtered = on;
    if (Active()) {
        resetView(nullptr);
    }
}

// ---- the view ----

void TClientDataSet::rebuildView() {
    if (m_orderStale) {
        m_ordered = m_rows;
        sortByIndex(m_ordered);
        m_orderStale = false;
    }
    const bool filtering = m_filtered && !m_filter.isEmpty();
    m_view.clear();
    for (Row* row : m_ordered) {
        if (!filtering || m_filter.matches(*row, m_filterBinding)) {
            m_view.push_back(row);
        }
    }
}

void TClientDataSet::sortByIndex(std::vector<Row*>& rows) const {
    if (m_indexColumns.empty()) {
        return;
    }
    // Keys are computed once per row: folding texts for every comparison would dominate the sort.
    std::vector<std::pair<QVariantList, Row*>> keyed;
    keyed.reserve(rows.size());
    for (Row* row : rows) {
        QVariantList keys;
        for (const filter::Column& column : m_indexColumns) {
            keys.append(sortKey((*row)[column.index], column.type));
        }
        keyed.emplace_back(std::move(keys), row);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        for (qsizetype k = 0; k < a.first.size(); ++k) {
            if (const int order = compareKeys(a.first[k], b.first[k]); order != 0) {
                return order < 0;
            }
        }
        return false;
    });
    std::transform(keyed.begin(), keyed.end(), rows.begin(), [](const auto& entry) { return entry.second; });
}

// Rebuilds the view and keeps `keep` current when it is still in view, else the first row.
void TClientDataSet::resetView(Row* keep) {
    const int fallback = keep == nullptr ? 0 : m_current;
    emit aboutToReset();
    rebuildView();
    const auto found = std::find(m_view.begin(), m_view.end(), keep);
    placeCursor(keep != nullptr && found != m_view.end() ? static_cast<int>(found - m_view.begin())
                                                         : fallback);
    emit reset();
    emit AfterScroll();
}

QVariant TClientDataSet::valueAt(int row, int fieldIndex) const {
    if (row < 0 || row >= RecordCount() || fieldIndex < 0 || fieldIndex >= fieldCount()) {
        return {};
    }
    const bool edited = row == m_current && m_state != State::Browse;
    return cell(edited ? m_buffer : *m_view[static_cast<std::size_t>(row)], fieldIndex);
}

QString TClientDataSet::displayTextAt(int row, int fieldIndex) const {
    return field(fieldIndex).textOf(valueAt(row, fieldIndex));
}

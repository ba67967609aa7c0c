// Costs of the server link that a consumer feels: a long statement arriving and a store list being typed
// into.
#include <QJsonDocument>

#include <benchmark/benchmark.h>

#include "server/ClientDataSet.h"
#include "server/WireFormat.h"

namespace {

constexpr int Movements = 10000;
constexpr int Stores = 10000;

QByteArray movementAnswer() {
    DataPacket packet;
    packet.fields = {{"CDCLIENTE", FieldType::String, 21}, {"CDCONSUMIDOR", FieldType::String, 21},
                     {"DTMOVCLI", FieldType::DateTime, 0}, {"IDTIPMOCVLI", FieldType::String, 1},
                     {"VRMOVCLI", FieldType::Float, 0},    {"VRSALDOCONS", FieldType::Float, 0}};
    const QDateTime start(QDate(2024, 1, 1), QTime(8, 0));
    double balance = 0;
    for (int i = 0; i < Movements; ++i) {
        const double amount = (i % 7 == 0 ? 150.0 : -12.35) + i % 13;
        balance += amount;
        packet.rows.append({QStringLiteral("000000000000000012345"),
                            QStringLiteral("000000000000000%1").arg(i % 997, 6, 10, QChar(u'0')),
                            start.addSecs(i * 1800), QString(QChar(u"CDAX"[i % 4])), amount, balance});
    }
    return wire::encodeResult(QVariant::fromValue(packet));
}

void declareMovements(TClientDataSet& dataSet) {
    dataSet.addField("CDCLIENTE", FieldType::String, 21).setVisible(false);
    dataSet.addField("CDCONSUMIDOR", FieldType::String, 21).setVisible(false);
    dataSet.addField("IDTIPMOCVLI", FieldType::String, 1);
    dataSet.addField("VRMOVCLI", FieldType::Float);
    dataSet.addField("DTMOVCLI", FieldType::DateTime);
    dataSet.addField("VRSALDOCONS", FieldType::Float);
}

// Store names built from syllables, so that prefixes select realistic fractions of the list.
QString storeName(int i) {
    static const char* const syllables[] = {"ca", "fé",  "ba", "ra", "ção", "lo",
                                            "ja", "mer", "ca", "do", "sul", "nor"};
    QString name;
    for (int k = 0, n = i; k < 3; ++k, n /= 12) {
        name += QString::fromUtf8(syllables[n % 12]);
    }
    name[0] = name[0].toUpper();
    return name + QStringLiteral(" %1").arg(i);
}

DataPacket storePacket() {
    DataPacket packet;
    packet.fields = {{"CDFILIAL", FieldType::String, 4},
                     {"CDLOJA", FieldType::String, 10},
                     {"NMLOJA", FieldType::String, 50}};
    for (int i = 0; i < Stores; ++i) {
        packet.rows.append({QStringLiteral("0001"), QString::number(i), storeName(i)});
    }
    return packet;
}

const QStringList& typedPrefixes() {
    static const QStringList prefixes{"C", "CA", "CAF", "CAFÉ", "B", "BA", "BAR", "L", "LO", "LOJ"};
    return prefixes;
}

void BM_DecodeAndLoadMovements(benchmark::State& state) {
    const QByteArray bytes = movementAnswer();
    TClientDataSet dataSet;
    declareMovements(dataSet);
    for (auto _ : state) {
        dataSet.setData(wire::decodeResult(bytes));
        benchmark::DoNotOptimize(dataSet.RecordCount());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    state.counters["answer_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_DecodeAndLoadMovements)->Unit(benchmark::kMillisecond);

void BM_DecodeMovements(benchmark::State& state) {
    const QByteArray bytes = movementAnswer();
    for (auto _ : state) {
        benchmark::DoNotOptimize(wire::decodeResult(bytes));
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_DecodeMovements)->Unit(benchmark::kMillisecond);

// The floor: parsing the same bytes into a JSON document, with no checks and no typed values.
void BM_JsonDocumentParseMovements(benchmark::State& state) {
    const QByteArray bytes = movementAnswer();
    for (auto _ : state) {
        benchmark::DoNotOptimize(QJsonDocument::fromJson(bytes));
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_JsonDocumentParseMovements)->Unit(benchmark::kMillisecond);

// One keystroke of the search list: new filter text, filtering switched off and on, over the name index.
void BM_PrefixFilterKeystroke(benchmark::State& state) {
    TClientDataSet stores;
    stores.loadPacket(storePacket());
    stores.addIndexDef("NMLOJA", "NMLOJA");
    stores.setIndexName("NMLOJA");
    qsizetype k = 0;
    for (auto _ : state) {
        const QString& prefix = typedPrefixes()[k++ % typedPrefixes().size()];
        stores.setFilter(QStringLiteral("UPPER(NMLOJA) LIKE '%1%'").arg(prefix));
        stores.setFiltered(false);
        stores.setFiltered(true);
        benchmark::DoNotOptimize(stores.RecordCount());
    }
}
BENCHMARK(BM_PrefixFilterKeystroke)->Unit(benchmark::kMicrosecond);

// The filter alone: one new prefix on an already filtered list (one pass over the rows).
void BM_PrefixFilterOnePass(benchmark::State& state) {
    TClientDataSet stores;
    stores.loadPacket(storePacket());
    stores.addIndexDef("NMLOJA", "NMLOJA");
    stores.setIndexName("NMLOJA");
    stores.setFiltered(true);
    qsizetype k = 0;
    for (auto _ : state) {
        const QString& prefix = typedPrefixes()[k++ % typedPrefixes().size()];
        stores.setFilter(QStringLiteral("UPPER(NMLOJA) LIKE '%1%'").arg(prefix));
        benchmark::DoNotOptimize(stores.RecordCount());
    }
}
BENCHMARK(BM_PrefixFilterOnePass)->Unit(benchmark::kMicrosecond);

// The floor: the same prefix test as a plain loop over the names already in index order.
void BM_PrefixPlainLoop(benchmark::State& state) {
    QStringList names;
    for (int i = 0; i < Stores; ++i) {
        names.append(storeName(i));
    }
    names.sort(Qt::CaseInsensitive);
    qsizetype k = 0;
    for (auto _ : state) {
        const QString& prefix = typedPrefixes()[k++ % typedPrefixes().size()];
        std::vector<const QString*> shown;
        for (const QString& name : names) {
            if (name.toUpper().startsWith(prefix)) {
                shown.push_back(&name);
            }
        }
        benchmark::DoNotOptimize(shown.size());
    }
}
BENCHMARK(BM_PrefixPlainLoop)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

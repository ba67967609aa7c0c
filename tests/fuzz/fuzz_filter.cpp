// Feeds arbitrary text to the filter parser, binds what parses to a store dataset and evaluates it there.
#include "server/ClientDataSet.h"
#include "server/FilterExpression.h"
#include "server/ServerErrors.h"

#include <cstdint>

namespace {

DataPacket stores() {
    DataPacket packet;
    packet.fields = {{"CDLOJA", FieldType::String, 10}, {"NMLOJA", FieldType::String, 50},
                     {"VRTOTAL", FieldType::Float, 0},  {"NRSEQ", FieldType::Integer, 0},
                     {"DTMOV", FieldType::DateTime, 0}, {"IDATIVO", FieldType::Boolean, 0}};
    packet.rows = {
        {QStringLiteral("001"), QStringLiteral("Café"), 1.5, qlonglong(1),
         QDateTime(QDate(2024, 5, 1), QTime(0, 0)), true},
        {QVariant(), QStringLiteral("ÇALDO"), QVariant(), qlonglong(2), QVariant(), QVariant()},
    };
    return packet;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    static TClientDataSet* const dataSet = [] {
        auto* created = new TClientDataSet;
        created->loadPacket(stores());
        created->addIndexDef("NMLOJA", "NMLOJA");
        created->setIndexName("NMLOJA");
        created->setFiltered(true);
        return created;
    }();
    try {
        dataSet->setFilter(text);
        for (dataSet->First(); !dataSet->Eof(); dataSet->Next()) {
            (void)dataSet->FieldByName("NMLOJA").asString();
        }
    } catch (const FilterError&) {
        // Refusing a malformed expression with FilterError is the parser's contract.
    }
    (void)filter::likeMatches(text, text.right(text.size() / 2));
    return 0;
}

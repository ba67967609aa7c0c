// Feeds arbitrary bytes to the answer and call decoders, loads decoded packets into datasets, and checks
// that whatever decodes also survives encoding and decoding again unchanged.
#include "server/ClientDataSet.h"
#include "server/ServerErrors.h"
#include "server/WireFormat.h"

#include <cstdint>
#include <cstdlib>

namespace {

void readEveryCell(TClientDataSet& dataSet) {
    for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) {
        for (int field = 0; field < dataSet.fieldCount(); ++field) {
            (void)dataSet.field(field).DisplayText();
            (void)dataSet.field(field).asFloat();
        }
    }
}

void loadIntoDataSets(const DataPacket& packet) {
    TClientDataSet everything;
    everything.loadPacket(packet);
    readEveryCell(everything);
    TClientDataSet declared;
    declared.addField("CDCLIENTE", FieldType::String, 21);
    declared.addField("VRMOVCLI", FieldType::Float);
    try {
        declared.loadPacket(packet);
        readEveryCell(declared);
    } catch (const DataSetError&) {
        // A packet without the declared fields is refused; that is the expected outcome for most inputs.
    }
}

void checkAnswer(const QByteArray& bytes) {
    const QVariant answer = wire::decodeResult(bytes);
    if (wire::decodeResult(wire::encodeResult(answer)) != answer) {
        std::abort();
    }
    if (answer.metaType() == QMetaType::fromType<DataPacket>()) {
        loadIntoDataSets(answer.value<DataPacket>());
    } else if (answer.typeId() == QMetaType::QVariantList) {
        for (const QVariant& element : answer.toList()) {
            loadIntoDataSets(element.value<DataPacket>());
        }
    }
}

void checkCall(const QByteArray& bytes) {
    const QVariantList arguments = wire::decodeCall(bytes);
    if (wire::decodeCall(wire::encodeCall(arguments)) != arguments) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        checkAnswer(bytes);
    } catch (const WireError&) {
        // Refusing malformed input with WireError is the decoder's contract.
    }
    try {
        checkCall(bytes);
    } catch (const WireError&) {
    }
    (void)wire::decodeError(bytes);
    return 0;
}

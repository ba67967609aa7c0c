#include <QJsonDocument>
#include <QTest>

#include "server/ServerErrors.h"
#include "server/WireFormat.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"

#include <cmath>
#include <limits>

class TestWireFormat : public QObject {
    Q_OBJECT
private slots:
    void init() { m_environment = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_environment.reset(); }

    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void dateTimeIsLocalTextWithMilliseconds();
    void callBodyIsArgsArray();
    void packetRoundTrip();
    void answerKindsRoundTrip();
    void malformedAnswersRaise_data();
    void malformedAnswersRaise();
    void malformedCallsRaise_data();
    void malformedCallsRaise();
    void unencodableValuesRaise_data();
    void unencodableValuesRaise();
    void oversizedBodyRaises();
    void errorBodyIsReadLeniently_data();
    void errorBodyIsReadLeniently();
    void moduleDescription();
    void packetFromAnswer();

private:
    std::unique_ptr<TestEnvironment> m_environment;
};

// Written after the class: moc reads the class before these raw texts.
namespace {

DataPacket everyTypePacket() {
    DataPacket packet;
    packet.fields = {{"CDCLIENTE", FieldType::String, 21},
                     {"VRSALDOCONS", FieldType::Float, 0},
                     {"NRSEQ", FieldType::Integer, 0},
                     {"IDATIVO", FieldType::Boolean, 0},
                     {"DTMOVCLI", FieldType::DateTime, 0}};
    packet.rows = {
        {QStringLiteral("Açaí D'Ávila"), 250.5, qlonglong(7), true,
         QDateTime(QDate(2024, 5, 10), QTime(8, 30, 1, 250))},
        {QVariant(), QVariant(), QVariant(), QVariant(), QVariant()},
        {QString(), -0.125, qlonglong(-9007199254740992), false, QDateTime(QDate(2024, 2, 29), QTime(0, 0))},
    };
    return packet;
}

QByteArray withResult(const QByteArray& json) {
    return "{\"result\":" + json + "}";
}

const QByteArray OneFieldHead = R"({"result":{"fields":[{"name":"A","type":")";

}  // namespace

void TestWireFormat::valuesRoundTrip_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("expected");
    dataRow("text", QVariant(QStringLiteral("0001")), QVariant(QStringLiteral("0001")));
    dataRow("accents and quotes", QVariant(QStringLiteral("Ção \"x\" \\ é")),
            QVariant(QStringLiteral("Ção \"x\" \\ é")));
    dataRow("int becomes double", QVariant(42), QVariant(42.0));
    dataRow("negative double", QVariant(-3.25), QVariant(-3.25));
    dataRow("null", QVariant(), QVariant());
    dataRow("bool", QVariant(true), QVariant(true));
    const QDateTime moment(QDate(2023, 12, 16), QTime(23, 59, 58, 7));
    dataRow("date-time", QVariant(moment), QVariant(moment));
    dataRow("date at midnight", QVariant(QDate(2024, 1, 15)),
            QVariant(QDateTime(QDate(2024, 1, 15), QTime(0, 0))));
    const QVariantList nested{QStringLiteral("a"), QVariantList{1.0, QVariant()}};
    dataRow("nested list", QVariant(nested), QVariant(nested));
}

void TestWireFormat::valuesRoundTrip() {
    QFETCH(QVariant, value);
    QFETCH(QVariant, expected);
    const QVariantList decoded = wire::decodeCall(wire::encodeCall({value}));
    QCOMPARE(decoded.size(), 1);
    QCOMPARE(decoded.first(), expected);
}

void TestWireFormat::dateTimeIsLocalTextWithMilliseconds() {
    const QDateTime moment(QDate(2024, 5, 10), QTime(0, 0));
    QCOMPARE(wire::encodeValue(moment).toObject().value("$dt").toString(),
             QStringLiteral("2024-05-10T00:00:00.000"));
    QCOMPARE(wire::dateTimeToWire(moment.toUTC()), QStringLiteral("2024-05-10T00:00:00.000"));
    QCOMPARE(wire::dateTimeFromWire(QStringLiteral("2024-05-10T13:14:15.016")),
             QDateTime(QDate(2024, 5, 10), QTime(13, 14, 15, 16)));
}

void TestWireFormat::callBodyIsArgsArray() {
    const QByteArray body =
        wire::encodeCall({QStringLiteral("0001"), 5, QDateTime(QDate(2024, 5, 10), QTime(0, 0))});
    QCOMPARE(body, QByteArray(R"({"args":["0001",5,{"$dt":"2024-05-10T00:00:00.000"}]})"));
}

void TestWireFormat::packetRoundTrip() {
    const DataPacket packet = everyTypePacket();
    const QVariant decoded = wire::decodeResult(wire::encodeResult(QVariant::fromValue(packet)));
    QCOMPARE(decoded.metaType(), QMetaType::fromType<DataPacket>());
    const DataPacket back = decoded.value<DataPacket>();
    QCOMPARE(back.fields, packet.fields);
    QCOMPARE(back.rows.size(), packet.rows.size());
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        for (qsizetype c = 0; c < packet.fields.size(); ++c) {
            QCOMPARE(back.rows[r][c], packet.rows[r][c]);
        }
    }
    QCOMPARE(back.rows[0][2].typeId(), QMetaType::LongLong);
}

void TestWireFormat::answerKindsRoundTrip() {
    QCOMPARE(wire::decodeResult(wire::encodeResult(QStringLiteral("Caixa não cadastrado."))),
             QVariant(QStringLiteral("Caixa não cadastrado.")));
    const QVariantList packets{QVariant::fromValue(everyTypePacket()), QVariant::fromValue(DataPacket{})};
    const QVariant decoded = wire::decodeResult(wire::encodeResult(packets));
    QCOMPARE(decoded.typeId(), QMetaType::QVariantList);
    QCOMPARE(decoded.toList().size(), 2);
    QCOMPARE(packetFrom(decoded, 1).fields.size(), 0);
    QCOMPARE(packetFrom(decoded, 0).rows.size(), 3);
}

void TestWireFormat::malformedAnswersRaise_data() {
    QTest::addColumn<QByteArray>("body");
    dataRow("empty", QByteArray());
    dataRow("not an object", QByteArray("[1]"));
    dataRow("truncated", QByteArray(R"({"result":{"fields":[{"name":"A","type":"str)"));
    dataRow("garbage after", QByteArray(R"({"result":"x"} trailing)"));
    dataRow("no result", QByteArray(R"({"answer":"x"})"));
    dataRow("extra member", QByteArray(R"({"result":"x","more":1})"));
    dataRow("number result", withResult("1"));
    dataRow("null result", withResult("null"));
    dataRow("array of texts", withResult(R"(["a"])"));
    dataRow("packet without rows", withResult(R"({"fields":[]})"));
    dataRow("packet extra member", withResult(R"({"fields":[],"rows":[],"x":0})"));
    dataRow("fields not a list", withResult(R"({"fields":{},"rows":[]})"));
    dataRow("field not an object", withResult(R"({"fields":["A"],"rows":[]})"));
    dataRow("field without name", withResult(R"({"fields":[{"type":"string"}],"rows":[]})"));
    dataRow("empty field name", withResult(R"({"fields":[{"name":"","type":"string"}],"rows":[]})"));
    dataRow("unknown type", withResult(R"({"fields":[{"name":"A","type":"money"}],"rows":[]})"));
    dataRow("negative size", withResult(R"({"fields":[{"name":"A","type":"string","size":-1}],"rows":[]})"));
    dataRow("fractional size",
            withResult(R"({"fields":[{"name":"A","type":"string","size":2.5}],"rows":[]})"));
    dataRow("duplicate field",
            withResult(R"({"fields":[{"name":"A","type":"string"},{"name":"A","type":"float"}],"rows":[]})"));
    dataRow("row too short", OneFieldHead + R"(string"}],"rows":[[]]}})");
    dataRow("row too long", OneFieldHead + R"(string"}],"rows":[["a","b"]]}})");
    dataRow("row not a list", OneFieldHead + R"(string"}],"rows":["a"]}})");
    dataRow("number in text field", OneFieldHead + R"(string"}],"rows":[[1]]}})");
    dataRow("text in float field", OneFieldHead + R"(float"}],"rows":[["1"]]}})");
    dataRow("fraction in integer field", OneFieldHead + R"(integer"}],"rows":[[1.5]]}})");
    dataRow("integer beyond 2^53", OneFieldHead + R"(integer"}],"rows":[[1e300]]}})");
    dataRow("number in boolean field", OneFieldHead + R"(boolean"}],"rows":[[1]]}})");
    dataRow("text in datetime field", OneFieldHead + R"(datetime"}],"rows":[["2024-05-10"]]}})");
    dataRow("short date-time", OneFieldHead + R"(datetime"}],"rows":[[{"$dt":"2024-5-10T00:00:00.000"}]]}})");
    dataRow("impossible date",
            OneFieldHead + R"(datetime"}],"rows":[[{"$dt":"2024-02-30T00:00:00.000"}]]}})");
    dataRow("impossible time",
            OneFieldHead + R"(datetime"}],"rows":[[{"$dt":"2024-02-03T24:00:00.000"}]]}})");
    dataRow("signed year", OneFieldHead + R"(datetime"}],"rows":[[{"$dt":"+024-02-03T10:00:00.000"}]]}})");
    dataRow("date-time extra member",
            OneFieldHead + R"(datetime"}],"rows":[[{"$dt":"2024-02-03T10:00:00.000","z":1}]]}})");
    dataRow("date-time not text", OneFieldHead + R"(datetime"}],"rows":[[{"$dt":5}]]}})");
}

void TestWireFormat::malformedAnswersRaise() {
    QFETCH(QByteArray, body);
    QVERIFY_THROWS_EXCEPTION(WireError, wire::decodeResult(body));
}

void TestWireFormat::malformedCallsRaise_data() {
    QTest::addColumn<QByteArray>("body");
    dataRow("args not a list", QByteArray(R"({"args":"x"})"));
    dataRow("no args", QByteArray(R"({})"));
    dataRow("unknown object value", QByteArray(R"({"args":[{"x":1}]})"));
    QByteArray tooMany = R"({"args":[)";
    for (int i = 0; i <= wire::MaxArguments; ++i) {
        tooMany += i == 0 ? "1" : ",1";
    }
    dataRow("too many arguments", tooMany + "]}");
    const int depth = wire::MaxValueDepth + 1;
    dataRow("lists nested too deep", R"({"args":[)" + QByteArray(depth, '[') + QByteArray(depth, ']') + "]}");
    dataRow("deep JSON nesting", R"({"args":[)" + QByteArray(5000, '[') + QByteArray(5000, ']') + "]}");
}

void TestWireFormat::malformedCallsRaise() {
    QFETCH(QByteArray, body);
    QVERIFY_THROWS_EXCEPTION(WireError, wire::decodeCall(body));
}

void TestWireFormat::unencodableValuesRaise_data() {
    QTest::addColumn<QVariant>("result");
    dataRow("bytes are no wire value", QVariant(QByteArray("x")));
    dataRow("a number is no answer", QVariant(5));
    dataRow("list of texts is no answer", QVariant(QVariantList{QStringLiteral("x")}));
    DataPacket shortRow = everyTypePacket();
    shortRow.rows[0].removeLast();
    dataRow("row shorter than fields", QVariant::fromValue(shortRow));
    DataPacket wrongType = everyTypePacket();
    wrongType.rows[0][0] = 3.0;
    dataRow("number in text field", QVariant::fromValue(wrongType));
    DataPacket fraction = everyTypePacket();
    fraction.rows[0][2] = 1.5;
    dataRow("fraction in integer field", QVariant::fromValue(fraction));
    DataPacket notFinite = everyTypePacket();
    notFinite.rows[0][1] = std::numeric_limits<double>::quiet_NaN();
    dataRow("NaN", QVariant::fromValue(notFinite));
    DataPacket duplicate = everyTypePacket();
    duplicate.fields[1].name = duplicate.fields[0].name;
    dataRow("duplicate field", QVariant::fromValue(duplicate));
}

void TestWireFormat::unencodableValuesRaise() {
    QFETCH(QVariant, result);
    QVERIFY_THROWS_EXCEPTION(WireError, wire::encodeResult(result));
}

void TestWireFormat::oversizedBodyRaises() {
    const QByteArray text(wire::MaxBodyBytes, 'a');
    QVERIFY_THROWS_EXCEPTION(WireError, wire::decodeResult(withResult("\"" + text + "\"")));
    QVERIFY_THROWS_EXCEPTION(WireError, wire::encodeResult(QString::fromLatin1(text)));
}

void TestWireFormat::errorBodyIsReadLeniently_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");
    dataRow("error object", wire::encodeError(QStringLiteral("Método desconhecido.")),
            "Método desconhecido.");
    dataRow("empty body", QByteArray(), "");
    dataRow("html", QByteArray("<html>500</html>"), "");
    dataRow("error not text", QByteArray(R"({"error":5})"), "");
}

void TestWireFormat::errorBodyIsReadLeniently() {
    QFETCH(QByteArray, body);
    QFETCH(QString, text);
    QCOMPARE(wire::decodeError(body), text);
}

void TestWireFormat::moduleDescription() {
    const wire::ModuleInfo module =
        wire::decodeModule(wire::encodeModule({"Qvr.rdmExtratoDetalhado", "{3A64}"}));
    QCOMPARE(module.name, QStringLiteral("Qvr.rdmExtratoDetalhado"));
    QCOMPARE(module.guid, QStringLiteral("{3A64}"));
    QVERIFY_THROWS_EXCEPTION(WireError, wire::decodeModule(R"({"module":"x"})"));
    QVERIFY_THROWS_EXCEPTION(WireError, wire::decodeModule(R"({"module":"x","guid":1})"));
}

void TestWireFormat::packetFromAnswer() {
    QVERIFY_THROWS_EXCEPTION(WireError, packetFrom(QVariant(QStringLiteral("erro"))));
    QVERIFY_THROWS_EXCEPTION(WireError, packetFrom(QVariant::fromValue(DataPacket{}), 0));
    QVERIFY_THROWS_EXCEPTION(WireError, packetFrom(QVariant(QVariantList{}), 0));
    QCOMPARE(packetFrom(QVariant::fromValue(everyTypePacket())).rows.size(), 3);
}

QTEST_GUILESS_MAIN(TestWireFormat)
#include "tst_wireformat.moc"

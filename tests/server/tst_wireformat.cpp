#include <QJsonDocument>
#include <QTest>

#include "server/ServerErrors.h"
#include "server/WireFormat.h"
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
    QTest::newRow("text") << QVariant(QStringLiteral("0001")) << QVariant(QStringLiteral("0001"));
    QTest::newRow("accents and quotes")
        << QVariant(QStringLiteral("Ção \"x\" \\ é")) << QVariant(QStringLiteral("Ção \"x\" \\ é"));
    QTest::newRow("int becomes double") << QVariant(42) << QVariant(42.0);
    QTest::newRow("negative double") << QVariant(-3.25) << QVariant(-3.25);
    QTest::newRow("null") << QVariant() << QVariant();
    QTest::newRow("bool") << QVariant(true) << QVariant(true);
    const QDateTime moment(QDate(2023, 12, 16), QTime(23, 59, 58, 7));
    QTest::newRow("date-time") << QVariant(moment) << QVariant(moment);
    QTest::newRow("date at midnight")
        << QVariant(QDate(2024, 1, 15)) << QVariant(QDateTime(QDate(2024, 1, 15), QTime(0, 0)));
    const QVariantList nested{QStringLiteral("a"), QVariantList{1.0, QVariant()}};
    QTest::newRow("nested list") << QVariant(nested) << QVariant(nested);
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
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not an object") << QByteArray("[1]");
    QTest::newRow("truncated") << QByteArray(R"({"result":{"fields":[{"name":"A","type":"str)");
    QTest::newRow("garbage after") << QByteArray(R"({"result":"x"} trailing)");
    QTest::newRow("no result") << QByteArray(R"({"answer":"x"})");
    QTest::newRow("extra member") << QByteArray(R"({"result":"x","more":1})");
    QTest::newRow("number result") << withResult("1");
    QTest::newRow("null result") << withResult("null");
    QTest::newRow("array of texts") << withResult(R"(["a"])");
    QTest::newRow("packet without rows") << withResult(R"({"fields":[]})");
    QTest::newRow("packet extra member") << withResult(R"({"fields":[],"rows":[],"x":0})");
    QTest::newRow("fields not a list") << withResult(R"({"fields":{},"rows":[]})");
    QTest::newRow("field not an object") << withResult(R"({"fields":["A"],"rows":[]})");
    QTest::newRow("field without name") << withResult(R"({"fields":[{"type":"string"}],"rows":[]})");
    QTest::newRow("empty field name") << withResult(R"({"fields":[{"name":"","type":"string"}],"rows":[]})");
    QTest::newRow("unknown type") << withResult(R"({"fields":[{"name":"A","type":"money"}],"rows":[]})");
    QTest::newRow("negative size") << withResult(
        R"({"fields":[{"name":"A","type":"string","size":-1}],"rows":[]})");
    QTest::newRow("fractional size") << withResult(
        R"({"fields":[{"name":"A","type":"string","size":2.5}],"rows":[]})");
    QTest::newRow("duplicate field") << withResult(
        R"({"fields":[{"name":"A","type":"string"},{"name":"A","type":"float"}],"rows":[]})");
    QTest::newRow("row too short") << OneFieldHead + R"(string"}],"rows":[[]]}})";
    QTest::newRow("row too long") << OneFieldHead + R"(string"}],"rows":[["a","b"]]}})";
    QTest::newRow("row not a list") << OneFieldHead + R"(string"}],"rows":["a"]}})";
    QTest::newRow("number in text field") << OneFieldHead + R"(string"}],"rows":[[1]]}})";
    QTest::newRow("text in float field") << OneFieldHead + R"(float"}],"rows":[["1"]]}})";
    QTest::newRow("fraction in integer field") << OneFieldHead + R"(integer"}],"rows":[[1.5]]}})";
    QTest::newRow("integer beyond 2^53") << OneFieldHead + R"(integer"}],"rows":[[1e300]]}})";
    QTest::newRow("number in boolean field") << OneFieldHead + R"(boolean"}],"rows":[[1]]}})";
    QTest::newRow("text in datetime field") << OneFieldHead + R"(datetime"}],"rows":[["2024-05-10"]]}})";
    QTest::newRow("short date-time") << OneFieldHead +
                                            R"(datetime"}],"rows":[[{"$dt":"2024-5-10T00:00:00.000"}]]}})";
    QTest::newRow("impossible date") << OneFieldHead +
                                            R"(datetime"}],"rows":[[{"$dt":"2024-02-30T00:00:00.000"}]]}})";
    QTest::newRow("impossible time") << OneFieldHead +
                                            R"(datetime"}],"rows":[[{"$dt":"2024-02-03T24:00:00.000"}]]}})";
    QTest::newRow("signed year") << OneFieldHead +
                                        R"(datetime"}],"rows":[[{"$dt":"+024-02-03T10:00:00.000"}]]}})";
    QTest::newRow("date-time extra member")
        << OneFieldHead + R"(datetime"}],"rows":[[{"$dt":"2024-02-03T10:00:00.000","z":1}]]}})";
    QTest::newRow("date-time not text") << OneFieldHead + R"(datetime"}],"rows":[[{"$dt":5}]]}})";
}

void TestWireFormat::malformedAnswersRaise() {
    QFETCH(QByteArray, body);
    QVERIFY_THROWS_EXCEPTION(WireError, wire::decodeResult(body));
}

void TestWireFormat::malformedCallsRaise_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("args not a list") << QByteArray(R"({"args":"x"})");
    QTest::newRow("no args") << QByteArray(R"({})");
    QTest::newRow("unknown object value") << QByteArray(R"({"args":[{"x":1}]})");
    QByteArray tooMany = R"({"args":[)";
    for (int i = 0; i <= wire::MaxArguments; ++i) {
        tooMany += i == 0 ? "1" : ",1";
    }
    QTest::newRow("too many arguments") << tooMany + "]}";
    const int depth = wire::MaxValueDepth + 1;
    QTest::newRow("lists nested too deep")
        << R"({"args":[)" + QByteArray(depth, '[') + QByteArray(depth, ']') + "]}";
    QTest::newRow("deep JSON nesting")
        << R"({"args":[)" + QByteArray(5000, '[') + QByteArray(5000, ']') + "]}";
}

void TestWireFormat::malformedCallsRaise() {
    QFETCH(QByteArray, body);
    QVERIFY_THROWS_EXCEPTION(WireError, wire::decodeCall(body));
}

void TestWireFormat::unencodableValuesRaise_data() {
    QTest::addColumn<QVariant>("result");
    QTest::newRow("bytes are no wire value") << QVariant(QByteArray("x"));
    QTest::newRow("a number is no answer") << QVariant(5);
    QTest::newRow("list of texts is no answer") << QVariant(QVariantList{QStringLiteral("x")});
    DataPacket shortRow = everyTypePacket();
    shortRow.rows[0].removeLast();
    QTest::newRow("row shorter than fields") << QVariant::fromValue(shortRow);
    DataPacket wrongType = everyTypePacket();
    wrongType.rows[0][0] = 3.0;
    QTest::newRow("number in text field") << QVariant::fromValue(wrongType);
    DataPacket fraction = everyTypePacket();
    fraction.rows[0][2] = 1.5;
    QTest::newRow("fraction in integer field") << QVariant::fromValue(fraction);
    DataPacket notFinite = everyTypePacket();
    notFinite.rows[0][1] = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("NaN") << QVariant::fromValue(notFinite);
    DataPacket duplicate = everyTypePacket();
    duplicate.fields[1].name = duplicate.fields[0].name;
    QTest::newRow("duplicate field") << QVariant::fromValue(duplicate);
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
    QTest::newRow("error object") << wire::encodeError(QStringLiteral("Método desconhecido."))
                                  << "Método desconhecido.";
    QTest::newRow("empty body") << QByteArray() << "";
    QTest::newRow("html") << QByteArray("<html>500</html>") << "";
    QTest::newRow("error not text") << QByteArray(R"({"error":5})") << "";
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

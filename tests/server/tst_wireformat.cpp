#include <QTest>

#include "server/ServerErrors.h"
#include "server/WireFormat.h"
#include "support/Rows.h"

#include <limits>

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

// JSON written with single quotes, which moc reads where it cannot read raw strings.
QByteArray json(QByteArray text) {
    return text.replace('\'', '"');
}

QByteArray withResult(const QByteArray& result) {
    return json("{'result':" + result + "}");
}

// An answer whose packet has one field A of a type, the text going on with the rest of the packet.
QByteArray oneField(const char* typeAndRest) {
    return withResult("{'fields':[{'name':'A','type':'" + QByteArray(typeAndRest));
}

}  // namespace

class TestWireFormat : public QObject {
    Q_OBJECT
private slots:
    void valuesRoundTrip_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("expected");
        dataRow("accents and quotes", QVariant(QStringLiteral("Ção \"x\" \\ é")),
                QVariant(QStringLiteral("Ção \"x\" \\ é")));
        dataRow("int becomes double", QVariant(42), QVariant(42.0));
        dataRow("null", QVariant(), QVariant());
        dataRow("bool", QVariant(true), QVariant(true));
        const QDateTime moment(QDate(2023, 12, 16), QTime(23, 59, 58, 7));
        dataRow("date-time", QVariant(moment), QVariant(moment));
        dataRow("date at midnight", QVariant(QDate(2024, 1, 15)),
                QVariant(QDateTime(QDate(2024, 1, 15), QTime(0, 0))));
        const QVariantList nested{QStringLiteral("a"), QVariantList{1.0, QVariant()}};
        dataRow("nested list", QVariant(nested), QVariant(nested));
    }

    void valuesRoundTrip() {
        QFETCH(QVariant, value);
        QFETCH(QVariant, expected);
        QCOMPARE(wire::decodeCall(wire::encodeCall({value})), QVariantList{expected});
    }

    // A call may carry exactly as many arguments as the bound; one more, or lists nested past their bound,
    // are refused before anything is sent.
    void callBounds() {
        const QVariantList most(wire::MaxArguments, 1);
        QCOMPARE(wire::decodeCall(wire::encodeCall(most)).size(), wire::MaxArguments);
        QVERIFY_THROWS_EXCEPTION(WireError, wire::encodeCall(most + QVariantList{1}));
        QVariant nested = 1;
        for (int level = 0; level <= wire::MaxValueDepth; ++level) {
            nested = QVariantList{nested};
        }
        QVERIFY_THROWS_EXCEPTION(WireError, wire::encodeCall({nested}));
    }

    void dateTimeIsLocalTextWithMilliseconds() {
        const QDateTime moment(QDate(2024, 5, 10), QTime(0, 0));
        QCOMPARE(wire::encodeCall({QStringLiteral("0001"), 5, moment}),
                 json("{'args':['0001',5,{'$dt':'2024-05-10T00:00:00.000'}]}"));
        QCOMPARE(wire::dateTimeToWire(moment.toUTC()), QStringLiteral("2024-05-10T00:00:00.000"));
        QCOMPARE(wire::dateTimeFromWire(QStringLiteral("2024-05-10T13:14:15.016")),
                 QDateTime(QDate(2024, 5, 10), QTime(13, 14, 15, 16)));
    }

    void packetRoundTrip() {
        const DataPacket packet = everyTypePacket();
        const QVariant decoded = wire::decodeResult(wire::encodeResult(QVariant::fromValue(packet)));
        QCOMPARE(decoded.metaType(), QMetaType::fromType<DataPacket>());
        const DataPacket back = decoded.value<DataPacket>();
        QCOMPARE(back, packet);
        QCOMPARE(back.rows[0][2].typeId(), QMetaType::LongLong);
    }

    // Answers, then calls: each refused by the decoder it is meant for (the other misses its member anyway).
    void malformedBodiesRaise_data() {
        QTest::addColumn<QByteArray>("body");
        dataRow("not an object", QByteArray("[1]"));
        dataRow("truncated", json("{'result':{'fields':[{'name':'A','type':'str"));
        dataRow("no result", json("{'answer':'x'}"));
        dataRow("extra member", json("{'result':'x','more':1}"));
        dataRow("number result", withResult("1"));
        dataRow("array of texts", withResult("['a']"));
        dataRow("packet without rows", withResult("{'fields':[]}"));
        dataRow("fields not a list", withResult("{'fields':{},'rows':[]}"));
        dataRow("field not an object", withResult("{'fields':['A'],'rows':[]}"));
        dataRow("empty field name", withResult("{'fields':[{'name':'','type':'string'}],'rows':[]}"));
        dataRow("unknown type", oneField("money'}],'rows':[]}"));
        dataRow("negative size", oneField("string','size':-1}],'rows':[]}"));
        dataRow("fractional size", oneField("string','size':2.5}],'rows':[]}"));
        dataRow("duplicate field", oneField("string'},{'name':'A','type':'float'}],'rows':[]}"));
        dataRow("row too short", oneField("string'}],'rows':[[]]}"));
        dataRow("row too long", oneField("string'}],'rows':[['a','b']]}"));
        dataRow("row not a list", oneField("string'}],'rows':['a']}"));
        dataRow("number in text field", oneField("string'}],'rows':[[1]]}"));
        dataRow("text in float field", oneField("float'}],'rows':[['1']]}"));
        dataRow("fraction in integer field", oneField("integer'}],'rows':[[1.5]]}"));
        dataRow("integer beyond 2^53", oneField("integer'}],'rows':[[1e300]]}"));
        dataRow("number in boolean field", oneField("boolean'}],'rows':[[1]]}"));
        dataRow("text in datetime field", oneField("datetime'}],'rows':[['2024-05-10']]}"));
        dataRow("short date-time", oneField("datetime'}],'rows':[[{'$dt':'2024-5-10T00:00:00.000'}]]}"));
        dataRow("impossible date", oneField("datetime'}],'rows':[[{'$dt':'2024-02-30T00:00:00.000'}]]}"));
        dataRow("impossible time", oneField("datetime'}],'rows':[[{'$dt':'2024-02-03T24:00:00.000'}]]}"));
        dataRow("signed year", oneField("datetime'}],'rows':[[{'$dt':'+024-02-03T10:00:00.000'}]]}"));
        dataRow("date-time extra member",
                oneField("datetime'}],'rows':[[{'$dt':'2024-02-03T10:00:00.000','z':1}]]}"));
        dataRow("date-time not text", oneField("datetime'}],'rows':[[{'$dt':5}]]}"));
        dataRow("args not a list", json("{'args':'x'}"));
        dataRow("no args", json("{}"));
        dataRow("unknown object value", json("{'args':[{'x':1}]}"));
        const QByteArray args = json("{'args':[");
        QByteArray tooMany = args;
        for (int i = 0; i <= wire::MaxArguments; ++i) {
            tooMany += i == 0 ? "1" : ",1";
        }
        dataRow("too many arguments", tooMany + "]}");
        const int depth = wire::MaxValueDepth + 1;
        dataRow("lists nested too deep", args + QByteArray(depth, '[') + QByteArray(depth, ']') + "]}");
        dataRow("deep JSON nesting", args + QByteArray(5000, '[') + QByteArray(5000, ']') + "]}");
    }

    void malformedBodiesRaise() {
        QFETCH(QByteArray, body);
        QVERIFY_THROWS_EXCEPTION(WireError, wire::decodeResult(body));
        QVERIFY_THROWS_EXCEPTION(WireError, wire::decodeCall(body));
    }

    void unencodableValuesRaise_data() {
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

    void unencodableValuesRaise() {
        QFETCH(QVariant, result);
        QVERIFY_THROWS_EXCEPTION(WireError, wire::encodeResult(result));
    }

    void oversizedBodyRaises() {
        const QByteArray text(wire::MaxBodyBytes, 'a');
        QVERIFY_THROWS_EXCEPTION(WireError, wire::decodeResult(withResult("\"" + text + "\"")));
        QVERIFY_THROWS_EXCEPTION(WireError, wire::encodeResult(QString::fromLatin1(text)));
    }

    void errorBodyIsReadLeniently_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");
        dataRow("error object", wire::encodeError(QStringLiteral("Método desconhecido.")),
                "Método desconhecido.");
        dataRow("html", QByteArray("<html>500</html>"), "");
        dataRow("error not text", json("{'error':5}"), "");
    }

    void errorBodyIsReadLeniently() {
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        QCOMPARE(wire::decodeError(body), text);
    }

    void moduleDescription() {
        const wire::ModuleInfo module =
            wire::decodeModule(wire::encodeModule({"Qvr.rdmExtratoDetalhado", "{3A64}"}));
        QCOMPARE(module.name, QStringLiteral("Qvr.rdmExtratoDetalhado"));
        QCOMPARE(module.guid, QStringLiteral("{3A64}"));
        QVERIFY_THROWS_EXCEPTION(WireError, wire::decodeModule(json("{'module':'x'}")));
        QVERIFY_THROWS_EXCEPTION(WireError, wire::decodeModule(json("{'module':'x','guid':1}")));
    }

    void packetFromAnswer() {
        QVERIFY_THROWS_EXCEPTION(WireError, packetFrom(QVariant(QStringLiteral("erro"))));
        QVERIFY_THROWS_EXCEPTION(WireError, packetFrom(QVariant::fromValue(DataPacket{}), 0));
        QVERIFY_THROWS_EXCEPTION(WireError, packetFrom(QVariant(QVariantList{}), 0));
        QCOMPARE(packetFrom(QVariant::fromValue(everyTypePacket())).rows.size(), 3);
        const QVariantList packets{QVariant::fromValue(DataPacket{}), QVariant::fromValue(everyTypePacket())};
        QCOMPARE(packetFrom(QVariant(packets), 1).rows.size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestWireFormat)
#include "tst_wireformat.moc"

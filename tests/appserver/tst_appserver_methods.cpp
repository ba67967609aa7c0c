// Every method of every remote data module, called over HTTP on the real totem-server, on SQLite and on
// PostgreSQL. The expected values follow by hand from the scripted consumers of the demo data
// (docs/server.md, "Demo identities"): Ana (10/1001, badge 00010001), Bruno (10/1002, no activity),
// Carlos (10/1003, inactive); the demo's today is 15/05/2024.
#include "AppServerFixture.h"

#include "server/WireFormat.h"
#include "support/Rows.h"

#include <QtTest>

namespace {

const QString TerminalCons = "Qvr.rdmTerminalCons";
const QString ExtratoGrupo = "Qvr.rdmExtratoGrupo";
const QString ExtratoDetalhado = "Qvr.rdmExtratoDetalhado";
const QString ExtratoSimplificado = "Qvr.rdmExtratoSimplificado";
const QString Branch = "0001";
const QString Ana = "1001";
const QString Client = "10";

// The named fields (space apart) of a packet's first row, "|" apart; empty when it has no row.
QString firstRow(const DataPacket& packet, const QString& fields) {
    QStringList values;
    for (const QString& field : fields.split(' ')) {
        values.append(cell(packet, 0, field).toString());
    }
    return packet.rows.isEmpty() ? QString() : values.join('|');
}

}  // namespace

class MethodsTest : public QObject {
    Q_OBJECT
public:
    explicit MethodsTest(Engine engine) : m_engine(engine) {}

private slots:
    void initTestCase() {
        m_fixture = std::make_unique<AppServerFixture>(m_engine);
        REQUIRE_SERVER(*m_fixture);
    }

    void cleanupTestCase() { m_fixture.reset(); }

    void connectsToEveryModule_data() {
        QTest::addColumn<QString>("module");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("guid");
        dataRow("terminal", TerminalCons, 200, "{6B1F0C52-3D8E-4A57-9C21-5E0A7D4B9F10}");
        dataRow("group", ExtratoGrupo, 200, "{8E93B7A1-5C24-4D6F-A0B8-3F17E2C94D65}");
        dataRow("detailed", ExtratoDetalhado, 200, "{3A6445E3-6B74-407B-BF73-EE033494058A}");
        dataRow("simplified", ExtratoSimplificado, 200, "{C4D2A9E7-1B36-4F08-8E5D-92A7B3C6F1D4}");
        dataRow("unknown", "Qvr.rdmInexistente", 404, QString());
        dataRow("letter case", "qvr.rdmterminalcons", 404, QString());
    }

    void connectsToEveryModule() {
        QFETCH(QString, module);
        QFETCH(int, status);
        QFETCH(QString, guid);
        const ServerProcess::Reply reply = m_fixture->server().get("/modules/" + module);
        QCOMPARE(reply.status, status);
        if (status == 200) {
            const wire::ModuleInfo info = wire::decodeModule(reply.body);
            QCOMPARE(info.name, module);
            QCOMPARE(info.guid, guid);
        } else {
            QVERIFY(wire::decodeError(reply.body).contains("não encontrado"));
        }
    }

    void answersTheDeclaredFields_data() {
        QTest::addColumn<QString>("module");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<int>("element");
        QTest::addColumn<QString>("declared");  // name:type:size, as the kiosk's screens declare them
        const QVariantList movements{Branch, Client, Ana, dayText(-10), dayText(0)};
        dataRow("getParametrosCx", TerminalCons, "getParametrosCx", QVariantList{"001", Branch}, -1,
                "DSMSGINITOT:string:200 DSMSGADITOT:string:200 NRDIAINITOT:string:2 NRDIAFINTOT:string:2 "
                "NRSEGFECTOT:string:5 IDEXIMSGSAL:string:1 IDTIPEXTTOT:string:1 CDGRUPPROD:string:10 "
                "DSFUNDOTELA:string:200 IDSELLOJTOT:string:20 IDINFCLIECAI:string:1 DSMSGCONTOT:string:200");
        dataRow("getParaVend", TerminalCons, "getParaVend", QVariantList{Branch}, -1,
                "NRPOSINICONS:float:0 NRPOSFINCONS:float:0");
        dataRow("getConsumidor", TerminalCons, "getConsumidor", QVariantList{Ana, "N"}, -1,
                "CDCLIENTE:string:21 NMCONSUMIDOR:string:50 CDCONSUMIDOR:string:21");
        dataRow("getSaldo", TerminalCons, "getSaldo", movements, -1,
                "VRSALDPECONS:float:0 VRSALDOCONS:float:0");
        dataRow("getLoja", TerminalCons, "getLoja",
                QVariantList{Branch, dayMoment(-10), dayMoment(0), Client, Ana}, -1,
                "CDFILIAL:string:4 CDLOJA:string:10 NMLOJA:string:50 CDCLIENTE:string:21 "
                "CDCONSUMIDOR:string:21");
        const QVariantList group{Branch, Client, Ana, QString(), dayMoment(-10), dayMoment(0), QString()};
        dataRow("getProdutos lines", ExtratoGrupo, "getProdutos", group, 0,
                "DTENTRVENDA:datetime:0 CDSUBGRPROD:string:10 CDPRODUTO:string:10 NMPRODUTO:string:50 "
                "VRUNITVEND:float:0 VRUNITVENDCL:float:0 QTPRODVEND:float:0 VRTOTAL:float:0");
        dataRow("getProdutos sub-groups", ExtratoGrupo, "getProdutos", group, 1,
                "CDSUBGRPROD:string:10 NMSUBGRPROD:string:40 VRFUNC:float:0 VRSUBS:float:0 VRTOTAL:float:0");
        const QString movementFields =
            "CDCLIENTE:string:21 CDCONSUMIDOR:string:21 IDTIPMOCVLI:string:1 "
            "VRMOVCLI:float:0 DTMOVCLI:datetime:0 VRSALDOCONS:float:0";
        dataRow("GetMoviClie", ExtratoDetalhado, "GetMoviClie", movements, -1, movementFields);
        dataRow("getMoviClie", ExtratoSimplificado, "getMoviClie", movements, -1, movementFields);
        dataRow("GetProduto", ExtratoDetalhado, "GetProduto",
                QVariantList{Branch, "002", Client, Ana, dayText(-10), dayText(0)}, -1,
                "DTVENDA:datetime:0 QTPRODVEND:float:0 VRUNITVEND:float:0 VRTOTVEND:float:0 "
                "NRSEQVENDA:string:10 CDPRODUTO:string:10 CDARVPROD:string:20 NMPRODUTO:string:50");
    }

    void answersTheDeclaredFields() {
        QFETCH(QString, module);
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(int, element);
        QFETCH(QString, declared);
        const DataPacket answer = packet(module, method, arguments, element);
        QVERIFY(!answer.rows.isEmpty());
        QStringList answered;
        for (const FieldDef& field : answer.fields) {
            answered << field.name + ':' + fieldTypeName(field.type) + ':' + QString::number(field.size);
        }
        for (const QString& declaration : declared.split(' ')) {
            QVERIFY2(answered.contains(declaration), qPrintable(declaration + " not in the answer"));
        }
    }

    // The terminal's module: each call's answer, the fields of its first row "|" apart; empty: no row.
    void terminalAnswers_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("expected");
        const QString welcome = "Bem-vindo! Consulte aqui o seu consumo e o seu saldo.";
        const QString ana = "10|1001|Ana Paula Ribeiro";
        dataRow("register: detailed, badge cut, still message", "getParametrosCx",
                QVariantList{"002", "0001"}, "2|N|N|S||16|15|20|_|imagens/fundo_totem.bmp");
        dataRow("register: group with store choice", "getParametrosCx", QVariantList{"004", "0001"},
                "3|S|S|N||||30|_|imagens/fundo_totem.bmp");
        dataRow("register: group of meals", "getParametrosCx", QVariantList{"005", "0001"},
                "3|N|N|S|1|21|20|15|" + welcome + "|");
        dataRow("register: other branch", "getParametrosCx", QVariantList{"001", "0003"},
                "2|N|S|N||||30|" + welcome + "|");
        dataRow("register: unknown", "getParametrosCx", QVariantList{"999", "0001"}, "");
        dataRow("register: of another branch", "getParametrosCx", QVariantList{"002", "0003"}, "");
        dataRow("sales: cuts 5 to 12", "getParaVend", QVariantList{"0001"}, "5|12");
        dataRow("sales: no cutting", "getParaVend", QVariantList{"0003"}, "0|0");
        dataRow("sales: unknown branch", "getParaVend", QVariantList{"9999"}, "");
        dataRow("consumer code", "getConsumidor", QVariantList{"1001", "N"}, ana);
        dataRow("badge number cut from the track", "getConsumidor", QVariantList{"00010001", "S"}, ana);
        dataRow("consumer code is no badge", "getConsumidor", QVariantList{"1001", "S"}, "");
        dataRow("badge is no consumer code", "getConsumidor", QVariantList{"00010001", "N"}, "");
        dataRow("lower-case flag counts as N", "getConsumidor", QVariantList{"1001", "s"}, ana);
        dataRow("consumer without activity", "getConsumidor", QVariantList{"1002", "N"},
                "10|1002|Bruno Carvalho");
        dataRow("inactive consumer", "getConsumidor", QVariantList{"1003", "N"}, "");
        dataRow("generated badge", "getConsumidor", QVariantList{"00050001", "S"}, "20|2002|");  // any name
        dataRow("empty code", "getConsumidor", QVariantList{"", "N"}, "");
        // Ana's balance after her last movement, and 300.00 less the subsidised part of her purchases.
        const QVariantList tenDays{Branch, Client, Ana, dayText(-10), dayText(0)};
        dataRow("balance: last ten days", "getSaldo", tenDays, "303.8|283.75");
        dataRow("balance: period ending yesterday", "getSaldo",
                QVariantList{Branch, Client, Ana, dayText(-10), dayText(-1)}, "315.8|286");
        dataRow("balance: month before", "getSaldo",
                QVariantList{Branch, Client, Ana, "01/04/2024", "30/04/2024"}, "291.5|287.5");
        dataRow("balance: no activity", "getSaldo",
                QVariantList{Branch, Client, "1002", dayText(-10), dayText(0)}, "0|300");
    }

    void terminalAnswers() {
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, expected);
        // How many fields each method answers, and those the rows above show.
        static const QHash<QString, QPair<int, QString>> shown{
            {"getParametrosCx",
             {12,
              "IDTIPEXTTOT IDSELLOJTOT IDEXIMSGSAL IDINFCLIECAI CDGRUPPROD "
              "NRDIAINITOT NRDIAFINTOT NRSEGFECTOT DSMSGINITOT DSFUNDOTELA"}},
            {"getParaVend", {2, "NRPOSINICONS NRPOSFINCONS"}},
            {"getConsumidor", {3, "CDCLIENTE CDCONSUMIDOR NMCONSUMIDOR"}},
            {"getSaldo", {2, "VRSALDPECONS VRSALDOCONS"}}};
        const DataPacket answer = packet(TerminalCons, method, arguments);
        QCOMPARE(answer.fields.size(), shown[method].first);
        QCOMPARE(answer.rows.size(), expected.isEmpty() ? 0 : 1);
        const QString found = firstRow(answer, shown[method].second);
        QVERIFY2(expected.endsWith('|') ? found.startsWith(expected) : found == expected, qPrintable(found));
    }

    void storesWithPurchasesInPeriod_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("stores");
        dataRow("last ten days, by name", -10, 0, "3|2|T|1");
        dataRow("day of the cancelled sale", -2, -2, "2");
        dataRow("today", 0, 0, "3");
        dataRow("no purchases", -30, -20, "");
        dataRow("to the last day a date can name", -10,
                static_cast<int>(AppServerFixture::DemoToday.daysTo(QDate(9999, 12, 31))), "3|2|T|1");
    }

    void storesWithPurchasesInPeriod() {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, stores);
        const DataPacket answer =
            packet(TerminalCons, "getLoja", {Branch, dayMoment(from), dayMoment(to), Client, Ana});
        QCOMPARE(answer.fields.size(), 5);
        QCOMPARE(column(answer, "CDLOJA"), stores);
        for (int row = 0; row < answer.rows.size(); ++row) {
            QCOMPARE(cell(answer, row, "CDFILIAL").toString(), Branch);
            QCOMPARE(cell(answer, row, "CDCONSUMIDOR").toString(), Ana);
        }
    }

    void groupStatement_data() {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("store");
        QTest::addColumn<QString>("lineTotals");  // product=quantity times both prices, line after line
        QTest::addColumn<QString>("subGroups");
        QTest::addColumn<QString>("subGroupTotals");
        const QString lines = "1001=21|2101=4|1301=0|1102=3|3002=4.2|1302=0|2001=3|1201=11.25";
        const QString subGroups = "11|12|13|14|21|22|31";
        dataRow("all groups, all stores", "", "", lines, subGroups, "21|3|11.25|0|3|4|4.2");
        dataRow("store T means all stores", "", "T", lines, subGroups, "21|3|11.25|0|3|4|4.2");
        dataRow("one store", "", "1", "1001=21|2101=4|1301=0", "11|14|22", "21|0|4");
        dataRow("meals only", "1", "", "1001=21|1301=0|1102=3|1302=0|1201=11.25", "11|12|13|14",
                "21|3|11.25|0");
        dataRow("drinks at the cafeteria", "2", "3", "2001=3", "21", "3");
        dataRow("unknown group", "9", "", "", "", "");
    }

    void groupStatement() {
        QFETCH(QString, group);
        QFETCH(QString, store);
        QFETCH(QString, lineTotals);
        QFETCH(QString, subGroups);
        QFETCH(QString, subGroupTotals);
        const QVariant answer = m_fixture->call(
            ExtratoGrupo, "getProdutos", {Branch, Client, Ana, group, dayMoment(-10), dayMoment(0), store});
        QCOMPARE(answer.typeId(), QMetaType::QVariantList);
        QCOMPARE(answer.toList().size(), 2);
        const DataPacket lines = packetFrom(answer, 0);
        const DataPacket groups = packetFrom(answer, 1);
        QStringList found;
        for (int row = 0; row < lines.rows.size(); ++row) {
            found << cell(lines, row, "CDPRODUTO").toString() + '=' + cell(lines, row, "VRTOTAL").toString();
        }
        QCOMPARE(found.join('|'), lineTotals);
        QCOMPARE(column(groups, "CDSUBGRPROD"), subGroups);
        QCOMPARE(column(groups, "VRTOTAL"), subGroupTotals);
    }

    void accountMovements_data() {
        QTest::addColumn<QString>("module");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("types");
        QTest::addColumn<QString>("balances");
        const QString types = "C|D|D|X|D|A|D|D";
        const QString balances = "341.5|330|322|330|327.5|320|315.8|303.8";
        dataRow("detailed", ExtratoDetalhado, "GetMoviClie", dayText(-10), dayText(0), types, balances);
        dataRow("simplified", ExtratoSimplificado, "getMoviClie", dayText(-10), dayText(0), types, balances);
        dataRow("one day", ExtratoSimplificado, "getMoviClie", dayText(-2), dayText(-2), "D|X|D",
                "322|330|327.5");
        dataRow("whole year", ExtratoDetalhado, "GetMoviClie", "01/01/2024", dayText(0), "C|D|" + types,
                "300|291.5|" + balances);
        dataRow("future", ExtratoSimplificado, "getMoviClie", dayText(1), dayText(30), "", "");
        dataRow("to the last day a date can name", ExtratoSimplificado, "getMoviClie", dayText(-10),
                "31/12/9999", types, balances);
        dataRow("start after end", ExtratoDetalhado, "GetMoviClie", dayText(0), dayText(-10), "", "");
    }

    void accountMovements() {
        QFETCH(QString, module);
        QFETCH(QString, method);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, types);
        QFETCH(QString, balances);
        const DataPacket answer = packet(module, method, {Branch, Client, Ana, start, end});
        QCOMPARE(answer.fields.size(), 6);
        QCOMPARE(column(answer, "IDTIPMOCVLI"), types);
        QCOMPARE(column(answer, "VRSALDOCONS"), balances);
        // Each balance is the one before it plus the movement.
        for (int row = 1; row < answer.rows.size(); ++row) {
            const double sum =
                cell(answer, row - 1, "VRSALDOCONS").toDouble() + cell(answer, row, "VRMOVCLI").toDouble();
            QCOMPARE(cell(answer, row, "VRSALDOCONS").toDouble(), std::round(sum * 100) / 100);
        }
    }

    void purchases_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("products");
        QTest::addColumn<QString>("totals");
        dataRow("last ten days, cancelled sale left out", dayText(-10), dayText(0),
                "1001|2101|1301|1102|3002|1302|2001|1201", "8.5|3|0|2.5|4.2|0|3|9");
        dataRow("previous month", "01/04/2024", "30/04/2024", "1001", "8.5");
        dataRow("nothing", dayText(1), dayText(1), "", "");
    }

    void purchases() {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, products);
        QFETCH(QString, totals);
        const DataPacket answer =
            packet(ExtratoDetalhado, "GetProduto", {Branch, "002", Client, Ana, start, end});
        QCOMPARE(answer.fields.size(), 8);
        QCOMPARE(column(answer, "CDPRODUTO"), products);
        QCOMPARE(column(answer, "VRTOTVEND"), totals);
        if (!answer.rows.isEmpty()) {
            QCOMPARE(firstRow(answer, "NMPRODUTO CDARVPROD"), QString("Prato Executivo|01.11.001"));
            QCOMPARE(cell(answer, 0, "DTVENDA").toDateTime().time(), QTime(12, 0));
        }
    }

private:
    DataPacket packet(const QString& module, const QString& method, const QVariantList& arguments,
                      int element = -1) {
        const QVariant answer = m_fixture->call(module, method, arguments);
        if (!answer.isValid() || answer.typeId() == QMetaType::QString) {
            qWarning("%s.%s answered status %d, %s", qPrintable(module), qPrintable(method),
                     m_fixture->lastStatus(), qPrintable(answer.toString()));
            return {};
        }
        return element < 0 ? packetFrom(answer) : packetFrom(answer, element);
    }

    Engine m_engine;
    std::unique_ptr<AppServerFixture> m_fixture;
};

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    int failures = 0;
    for (const Engine engine : {Engine::Sqlite, Engine::Postgres}) {
        MethodsTest test(engine);
        failures += QTest::qExec(&test, argc, argv);
    }
    return failures;
}

#include "tst_appserver_methods.moc"

// Every method of every remote data module, called over HTTP on the real totem-server, on SQLite and on
// PostgreSQL. The expected values follow by hand from the scripted consumers of the demo data
// (docs/server.md, "Demo identities"): Ana (10/1001, badge 00010001), Bruno (10/1002, no activity),
// Carlos (10/1003, inactive); the demo's today is 15/05/2024.
#include "AppServerFixture.h"

#include "server/WireFormat.h"
#include "support/Rows.h"

#include <QtTest>

namespace {

const QString TerminalCons = QStringLiteral("Qvr.rdmTerminalCons");
const QString ExtratoGrupo = QStringLiteral("Qvr.rdmExtratoGrupo");
const QString ExtratoDetalhado = QStringLiteral("Qvr.rdmExtratoDetalhado");
const QString ExtratoSimplificado = QStringLiteral("Qvr.rdmExtratoSimplificado");
const QString Branch = QStringLiteral("0001");
const QString Ana = QStringLiteral("1001");
const QString Client = QStringLiteral("10");

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
        dataRow("terminal", TerminalCons, 200, QStringLiteral("{6B1F0C52-3D8E-4A57-9C21-5E0A7D4B9F10}"));
        dataRow("group", ExtratoGrupo, 200, QStringLiteral("{8E93B7A1-5C24-4D6F-A0B8-3F17E2C94D65}"));
        dataRow("detailed", ExtratoDetalhado, 200, QStringLiteral("{3A6445E3-6B74-407B-BF73-EE033494058A}"));
        dataRow("simplified", ExtratoSimplificado, 200,
                QStringLiteral("{C4D2A9E7-1B36-4F08-8E5D-92A7B3C6F1D4}"));
        dataRow("unknown", QStringLiteral("Qvr.rdmInexistente"), 404, QString());
        dataRow("letter case", QStringLiteral("qvr.rdmterminalcons"), 404, QString());
    }

    void connectsToEveryModule() {
        QFETCH(QString, module);
        QFETCH(int, status);
        QFETCH(QString, guid);
        const ServerProcess::Reply reply = m_fixture->server().get(QStringLiteral("/modules/") + module);
        QCOMPARE(reply.status, status);
        if (status == 200) {
            const wire::ModuleInfo info = wire::decodeModule(reply.body);
            QCOMPARE(info.name, module);
            QCOMPARE(info.guid, guid);
        } else {
            QVERIFY(wire::decodeError(reply.body).contains(QStringLiteral("não encontrado")));
        }
    }

    void answersTheDeclaredFields_data() {
        QTest::addColumn<QString>("module");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<int>("element");
        QTest::addColumn<QString>("declared");  // name:type:size, as the kiosk's screens declare them
        const QVariantList movements{Branch, Client, Ana, dayText(-10), dayText(0)};
        dataRow("getParametrosCx", TerminalCons, "getParametrosCx",
                QVariantList{QStringLiteral("001"), Branch}, -1,
                "DSMSGINITOT:string:200 DSMSGADITOT:string:200 NRDIAINITOT:string:2 NRDIAFINTOT:string:2 "
                "NRSEGFECTOT:string:5 IDEXIMSGSAL:string:1 IDTIPEXTTOT:string:1 CDGRUPPROD:string:10 "
                "DSFUNDOTELA:string:200 IDSELLOJTOT:string:20 IDINFCLIECAI:string:1 DSMSGCONTOT:string:200");
        dataRow("getParaVend", TerminalCons, "getParaVend", QVariantList{Branch}, -1,
                "NRPOSINICONS:float:0 NRPOSFINCONS:float:0");
        dataRow("getConsumidor", TerminalCons, "getConsumidor", QVariantList{Ana, QStringLiteral("N")}, -1,
                "CDCLIENTE:string:21 NMCONSUMIDOR:string:50 CDCONSUMIDOR:string:21");
        dataRow("getSaldo", TerminalCons, "getSaldo", movements, -1,
                "VRSALDPECONS:float:0 VRSALDOCONS:float:0");
        dataRow("getLoja", TerminalCons, "getLoja",
                QVariantList{Branch, dayMoment(-10), dayMoment(0), Client, Ana}, -1,
                "CDFILIAL:string:4 CDLOJA:string:10 NMLOJA:string:50 CDCLIENTE:string:21 "
                "CDCONSUMIDOR:string:21");
        const QVariantList group{Branch, Client, Ana, QString(), dayMoment(-10), dayMoment(0), QString()};
        dataRow("getProdutos lines", ExtratoGrupo, "getProdutos", group, 0,
                "DTENTRVENDA:datetime:0 CDSUBGRPROD:string:10 CDPRODUTO:string:10 "
                "NMPRODUTO:string:50 VRUNITVEND:float:0 VRUNITVENDCL:float:0 "
                "QTPRODVEND:float:0 VRTOTAL:float:0");
        dataRow("getProdutos sub-groups", ExtratoGrupo, "getProdutos", group, 1,
                "CDSUBGRPROD:string:10 NMSUBGRPROD:string:40 VRFUNC:float:0 "
                "VRSUBS:float:0 VRTOTAL:float:0");
        const QString movementFields = QStringLiteral(
            "CDCLIENTE:string:21 CDCONSUMIDOR:string:21 IDTIPMOCVLI:string:1 VRMOVCLI:float:0 "
            "DTMOVCLI:datetime:0 "
            "VRSALDOCONS:float:0");
        dataRow("GetMoviClie", ExtratoDetalhado, "GetMoviClie", movements, -1, movementFields);
        dataRow("getMoviClie", ExtratoSimplificado, "getMoviClie", movements, -1, movementFields);
        dataRow("GetProduto", ExtratoDetalhado, "GetProduto",
                QVariantList{Branch, QStringLiteral("002"), Client, Ana, dayText(-10), dayText(0)}, -1,
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
        for (const QString& declaration : declared.split(QLatin1Char(' '))) {
            const QStringList parts = declaration.split(QLatin1Char(':'));
            const qsizetype index = answer.fieldIndex(parts.at(0));
            QVERIFY2(index >= 0, qPrintable(parts.at(0)));
            QCOMPARE(fieldTypeName(answer.fields.at(index).type), parts.at(1));
            QCOMPARE(answer.fields.at(index).size, parts.at(2).toInt());
        }
    }

    void registerParameters_data() {
        QTest::addColumn<QString>("branch");
        QTest::addColumn<QString>("registerCode");
        QTest::addColumn<QString>("expected");  // IDTIPEXTTOT IDSELLOJTOT IDEXIMSGSAL IDINFCLIECAI CDGRUPPROD
                                                // NRDIAINITOT NRDIAFINTOT NRSEGFECTOT DSMSGINITOT DSFUNDOTELA
        dataRow("simplified with balance", "0001", "001",
                "1|N|S|N||||30|Bem-vindo! Consulte aqui o seu consumo e o seu saldo.|");
        dataRow("detailed, badge cut, still message", "0001", "002",
                "2|N|N|S||16|15|20|_|imagens/fundo_totem.bmp");
        dataRow("detailed with store choice", "0001", "003",
                "2|S|S|N||||" + QStringLiteral("|Bem-vindo! Consulte aqui o seu consumo e o seu saldo.|"));
        dataRow("group with store choice", "0001", "004", "3|S|S|N||||30|_|imagens/fundo_totem.bmp");
        dataRow("group of meals", "0001", "005",
                "3|N|N|S|1|21|20|15|Bem-vindo! Consulte aqui o seu consumo e o seu saldo.|");
        dataRow("simplified, badge cut", "0001", "006", "1|N|N|S||||0|_|imagens/fundo_totem.bmp");
        dataRow("other branch", "0003", "001",
                "2|N|S|N||||30|Bem-vindo! Consulte aqui o seu consumo e o seu saldo.|");
        dataRow("unknown register", "0001", "999", QString());
        dataRow("register of another branch", "0003", "002", QString());
    }

    void registerParameters() {
        QFETCH(QString, branch);
        QFETCH(QString, registerCode);
        QFETCH(QString, expected);
        const DataPacket answer =
            packet(TerminalCons, QStringLiteral("getParametrosCx"), {registerCode, branch});
        QCOMPARE(answer.fields.size(), 12);
        if (expected.isEmpty()) {
            QCOMPARE(answer.rows.size(), 0);
            return;
        }
        QCOMPARE(answer.rows.size(), 1);
        QStringList values;
        for (const char* field :
             {"IDTIPEXTTOT", "IDSELLOJTOT", "IDEXIMSGSAL", "IDINFCLIECAI", "CDGRUPPROD", "NRDIAINITOT",
              "NRDIAFINTOT", "NRSEGFECTOT", "DSMSGINITOT", "DSFUNDOTELA"}) {
            values.append(cell(answer, 0, QString::fromLatin1(field)).toString());
        }
        QCOMPARE(values.join(QLatin1Char('|')), expected);
    }

    void salesParameters_data() {
        QTest::addColumn<QString>("branch");
        QTest::addColumn<QString>("positions");
        dataRow("cuts 5 to 12", "0001", "5-12");
        dataRow("second branch", "0002", "5-12");
        dataRow("no cutting", "0003", "0-0");
        dataRow("unknown branch", "9999", QString());
    }

    void salesParameters() {
        QFETCH(QString, branch);
        QFETCH(QString, positions);
        const DataPacket answer = packet(TerminalCons, QStringLiteral("getParaVend"), {branch});
        QCOMPARE(answer.fields.size(), 2);
        const QString found = answer.rows.isEmpty()
                                  ? QString()
                                  : cell(answer, 0, QStringLiteral("NRPOSINICONS")).toString() + "-" +
                                        cell(answer, 0, QStringLiteral("NRPOSFINCONS")).toString();
        QCOMPARE(found, positions);
    }

    void findsConsumerByCodeOrBadge_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QString>("found");  // CDCLIENTE|CDCONSUMIDOR|NMCONSUMIDOR, or empty for no record
        const QString ana = QStringLiteral("10|1001|Ana Paula Ribeiro");
        dataRow("consumer code", "1001", "N", ana);
        dataRow("badge number cut from the track", "00010001", "S", ana);
        dataRow("consumer code is no badge", "1001", "S", QString());
        dataRow("badge is no consumer code", "00010001", "N", QString());
        dataRow("lower-case flag counts as N", "1001", "s", ana);
        dataRow("consumer without activity", "1002", "N", "10|1002|Bruno Carvalho");
        dataRow("inactive consumer", "1003", "N", QString());
        dataRow("first generated consumer", "2001", "N", "10|2001|");
        dataRow("generated badge", "00050001", "S", "20|2002|");
        dataRow("empty code", "", "N", QString());
    }

    void findsConsumerByCodeOrBadge() {
        QFETCH(QString, code);
        QFETCH(QString, flag);
        QFETCH(QString, found);
        const DataPacket answer = packet(TerminalCons, QStringLiteral("getConsumidor"), {code, flag});
        QCOMPARE(answer.fields.size(), 3);
        if (found.isEmpty()) {
            QCOMPARE(answer.rows.size(), 0);
            return;
        }
        QCOMPARE(answer.rows.size(), 1);
        const QString record = cell(answer, 0, QStringLiteral("CDCLIENTE")).toString() + "|" +
                               cell(answer, 0, QStringLiteral("CDCONSUMIDOR")).toString() + "|" +
                               cell(answer, 0, QStringLiteral("NMCONSUMIDOR")).toString();
        QVERIFY2(record.startsWith(found), qPrintable(record));
    }

    void balances_data() {
        QTest::addColumn<QString>("consumer");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<double>("personal");
        QTest::addColumn<double>("company");
        // Ana's balance after her last movement, and 300.00 less the subsidised part of her purchases.
        dataRow("last ten days", Ana, dayText(-10), dayText(0), 303.80, 283.75);
        dataRow("period ending yesterday", Ana, dayText(-10), dayText(-1), 315.80, 286.00);
        dataRow("month before", Ana, "01/04/2024", "30/04/2024", 291.50, 287.50);
        dataRow("no activity", QStringLiteral("1002"), dayText(-10), dayText(0), 0.0, 300.0);
    }

    void balances() {
        QFETCH(QString, consumer);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(double, personal);
        QFETCH(double, company);
        const DataPacket answer =
            packet(TerminalCons, QStringLiteral("getSaldo"), {Branch, Client, consumer, start, end});
        QCOMPARE(answer.rows.size(), 1);
        QCOMPARE(cell(answer, 0, QStringLiteral("VRSALDPECONS")).toDouble(), personal);
        QCOMPARE(cell(answer, 0, QStringLiteral("VRSALDOCONS")).toDouble(), company);
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
        const DataPacket answer = packet(TerminalCons, QStringLiteral("getLoja"),
                                         {Branch, dayMoment(from), dayMoment(to), Client, Ana});
        QCOMPARE(answer.fields.size(), 5);
        QCOMPARE(column(answer, QStringLiteral("CDLOJA")), stores);
        for (int row = 0; row < answer.rows.size(); ++row) {
            QCOMPARE(cell(answer, row, QStringLiteral("CDFILIAL")).toString(), Branch);
            QCOMPARE(cell(answer, row, QStringLiteral("CDCONSUMIDOR")).toString(), Ana);
        }
    }

    void groupStatement_data() {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("store");
        QTest::addColumn<QString>("products");
        QTest::addColumn<QString>("subGroups");
        QTest::addColumn<QString>("subGroupTotals");
        dataRow("all groups, all stores", "", "", "1001|2101|1301|1102|3002|1302|2001|1201",
                "11|12|13|14|21|22|31", "21|3|11.25|0|3|4|4.2");
        dataRow("store T means all stores", "", "T", "1001|2101|1301|1102|3002|1302|2001|1201",
                "11|12|13|14|21|22|31", "21|3|11.25|0|3|4|4.2");
        dataRow("one store", "", "1", "1001|2101|1301", "11|14|22", "21|0|4");
        dataRow("meals only", "1", "", "1001|1301|1102|1302|1201", "11|12|13|14", "21|3|11.25|0");
        dataRow("drinks at the cafeteria", "2", "3", "2001", "21", "3");
        dataRow("unknown group", "9", "", "", "", "");
    }

    void groupStatement() {
        QFETCH(QString, group);
        QFETCH(QString, store);
        QFETCH(QString, products);
        QFETCH(QString, subGroups);
        QFETCH(QString, subGroupTotals);
        const QVariantList arguments{Branch, Client, Ana, group, dayMoment(-10), dayMoment(0), store};
        const QVariant answer = m_fixture->call(ExtratoGrupo, QStringLiteral("getProdutos"), arguments);
        QCOMPARE(answer.typeId(), QMetaType::QVariantList);
        QCOMPARE(answer.toList().size(), 2);
        const DataPacket lines = packetFrom(answer, 0);
        const DataPacket groups = packetFrom(answer, 1);
        QCOMPARE(column(lines, QStringLiteral("CDPRODUTO")), products);
        QCOMPARE(column(groups, QStringLiteral("CDSUBGRPROD")), subGroups);
        QCOMPARE(column(groups, QStringLiteral("VRTOTAL")), subGroupTotals);
        for (int row = 0; row < lines.rows.size(); ++row) {
            const double expected = cell(lines, row, QStringLiteral("QTPRODVEND")).toDouble() *
                                    (cell(lines, row, QStringLiteral("VRUNITVEND")).toDouble() +
                                     cell(lines, row, QStringLiteral("VRUNITVENDCL")).toDouble());
            QCOMPARE(cell(lines, row, QStringLiteral("VRTOTAL")).toDouble(),
                     std::round(expected * 100) / 100);
        }
    }

    void accountMovements_data() {
        QTest::addColumn<QString>("module");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("types");
        QTest::addColumn<QString>("balances");
        const QString types = QStringLiteral("C|D|D|X|D|A|D|D");
        const QString balances = QStringLiteral("341.5|330|322|330|327.5|320|315.8|303.8");
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
        QCOMPARE(column(answer, QStringLiteral("IDTIPMOCVLI")), types);
        QCOMPARE(column(answer, QStringLiteral("VRSALDOCONS")), balances);
        // Each balance is the one before it plus the movement.
        for (int row = 1; row < answer.rows.size(); ++row) {
            QCOMPARE(cell(answer, row, QStringLiteral("VRSALDOCONS")).toDouble(),
                     std::round((cell(answer, row - 1, QStringLiteral("VRSALDOCONS")).toDouble() +
                                 cell(answer, row, QStringLiteral("VRMOVCLI")).toDouble()) *
                                100) /
                         100);
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
        const DataPacket answer = packet(ExtratoDetalhado, QStringLiteral("GetProduto"),
                                         {Branch, QStringLiteral("002"), Client, Ana, start, end});
        QCOMPARE(answer.fields.size(), 8);
        QCOMPARE(column(answer, QStringLiteral("CDPRODUTO")), products);
        QCOMPARE(column(answer, QStringLiteral("VRTOTVEND")), totals);
        if (!answer.rows.isEmpty()) {
            QCOMPARE(cell(answer, 0, QStringLiteral("NMPRODUTO")).toString(),
                     QStringLiteral("Prato Executivo"));
            QCOMPARE(cell(answer, 0, QStringLiteral("CDARVPROD")).toString(), QStringLiteral("01.11.001"));
            QCOMPARE(cell(answer, 0, QStringLiteral("DTVENDA")).toDateTime().time(), QTime(12, 0));
        }
    }

    void accessLogNamesCallsButNoConsumerData() {
        packet(TerminalCons, QStringLiteral("getSaldo"), {Branch, Client, Ana, dayText(-10), dayText(0)});
        packet(TerminalCons, QStringLiteral("getConsumidor"), {Ana, QStringLiteral("N")});
        // The server writes its line after the answer has gone; give it a moment to reach the pipe.
        QTRY_VERIFY(m_fixture->server().output().contains(
            QStringLiteral("terminal=0001 module=Qvr.rdmTerminalCons method=getSaldo status=200 ms=")));
        const QString log = m_fixture->server().output();
        QVERIFY(log.contains(QStringLiteral("module=Qvr.rdmTerminalCons method=getConsumidor status=200")));
        QVERIFY(!log.contains(QStringLiteral("Ana")));
        QVERIFY(!log.contains(QStringLiteral("303.8")));
        QVERIFY(!log.contains(QStringLiteral("283.75")));
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

#include <QAbstractButton>
#include <QApplication>
#include <QTableView>
#include <QTimer>

#include "StatementSuite.h"
#include "server/ClientDataSet.h"
#include "statements/TfrmExtratoGrupo.h"

// The group statement against the real application server and its demo data, with the demo's today and
// the kiosk's clock on 15/05/2024. Ana (consumer 1001) bought in May at stores 1, 2, T and 3, and once in
// April; Bruno (1002) never bought anything.
namespace {

const QString MayList = QStringLiteral(
    "Mercearia 4,20|Sucos e Refrigerantes 4,00|Bebidas Quentes 3,00|Sobremesas 11,25|Lanches 3,00|Pratos "
    "21,00");

// What the screen shows, read from its controls.
struct Shown {
    QString header;
    QString period;  // start, end and month name
    QString store;
    QString subGroups;  // "name amount" rows, top to bottom, joined by "|"
    QString products;   // product names of the product grid, joined by "|"
    QString totals;     // subsidised, then employee
    QString monthButton;
    bool timerActive = false;
    int timerInterval = 0;

    QStringList lists() const { return {subGroups, products, totals}; }
};

QString gridRows(const QDialog& form, const char* name, QList<int> columns) {
    const QAbstractItemModel& model = *childOf<QTableView>(form, name).model();
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column : columns) {
            cells.append(model.index(row, column).data().toString());
        }
        rows.append(cells.join(u' '));
    }
    return rows.join(u'|');
}

QTimer& timerOf(const QDialog& form) {
    return childOf<QTimer>(form, "timDataHora");
}

// Reads an open screen; a screen that has closed already is a fault of the step.
Shown shownOn(const QDialog& form) {
    if (!form.isVisible()) {
        throw std::runtime_error("the group statement has closed already");
    }
    Shown shown;
    shown.header = labelText(form, "lblCabec");
    shown.period =
        labelText(form, "lblDe") + u' ' + labelText(form, "lblAte") + u' ' + labelText(form, "lblMes");
    shown.store = labelText(form, "lblLoja");
    shown.subGroups = gridRows(form, "dbgSubGrupo", {0, 1});
    shown.products = gridRows(form, "dbgProdutos", {1});
    shown.totals = labelText(form, "lblTotSubs") + u' ' + labelText(form, "lblTotFunc");
    shown.monthButton = childOf<QAbstractButton>(form, "sbtMesAnt").text();
    shown.timerActive = timerOf(form).isActive();
    shown.timerInterval = timerOf(form).interval();
    return shown;
}

// Reads the screen, then leaves it by "Sair".
ModalScript::Step readAndLeave(Shown* shown) {
    return [shown](QDialog& form) {
        *shown = shownOn(form);
        press(form, "sbtSair");
    };
}

}  // namespace

class TestGroupStatement : public QObject {
    Q_OBJECT
private slots:

    void initTestCase() {
        m_server = std::make_unique<AppServerFixture>(Engine::Sqlite);
        QVERIFY2(m_server->failure().isEmpty(), qPrintable(m_server->failure()));
    }

    void init() {
        m_env = kioskAt(m_server->server().port(), m_context);
        useConsumer(QStringLiteral("1001"), QStringLiteral("Ana Paula Ribeiro"));
    }

    void cleanup() {
        m_env.reset();
        QVERIFY(qobject_cast<QDialog*>(topLevelNamed(QStringLiteral("frmExtratoGrupo"))) == nullptr);
    }

    void listsSubGroupsOfThePeriod_data() {
        QTest::addColumn<QString>("consumer");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("storeCode");
        QTest::addColumn<QString>("storeName");
        QTest::addColumn<QStringList>("expected");  // the store line, sub-groups, products and totals
        dataRow("every store, reversed, courtesies left out", "1001", "", "", "",
                QStringList{"", MayList, "Chocolate", "16,25 30,20"});
        dataRow("all stores entry", "1001", "", "T", "TODAS",
                QStringList{"Loja  T  TODAS", MayList, "Chocolate", "16,25 30,20"});
        dataRow("one store", "1001", "", "1", "Restaurante",
                QStringList{"Loja  1  Restaurante", "Sucos e Refrigerantes 4,00|Pratos 21,00", "Suco Natural",
                            "13,50 11,50"});
        dataRow("meals group", "1001", "1", "", "",
                QStringList{"", "Sobremesas 11,25|Lanches 3,00|Pratos 21,00", "Salada de Frutas (kg)",
                            "15,25 20,00"});
        dataRow("no purchases", "1002", "", "", "", QStringList{"", "", "", "0,00 0,00"});
    }

    void listsSubGroupsOfThePeriod() {
        QFETCH(QString, consumer);
        QFETCH(QString, group);
        QFETCH(QString, storeCode);
        QFETCH(QString, storeName);
        QFETCH(QStringList, expected);
        useConsumer(consumer, QStringLiteral("Consumidor ") + consumer);
        m_context.CDGRUPPROD = group;
        Shown shown;
        ModalScript script({readAndLeave(&shown)});
        ShowExtratoGrupo(m_context, storeCode, storeName);
        VERIFY_SCRIPT_RAN(script);
        QCOMPARE(shown.header, consumer + QStringLiteral(" - Consumidor ") + consumer);
        QCOMPARE(shown.period, QStringLiteral("01/05/2024 31/05/2024 Maio"));
        QCOMPARE(QStringList{shown.store} + shown.lists(), expected);
    }

    void monthButtonAndClosingOnThePreviousMonth_data() {
        QTest::addColumn<bool>("byTimer");
        dataRow("Sair", false);
        dataRow("inactivity timer", true);
    }

    // The month button goes a month back and forth; closing on the month before, the next consumer starts on
    // the current one.
    void monthButtonAndClosingOnThePreviousMonth() {
        QFETCH(bool, byTimer);
        QList<Shown> shown;
        Shown reopened;
        ModalScript script({[&](QDialog& form) {
                                for (int times = 0; times < 3; ++times) {
                                    press(form, "sbtMesAnt");
                                    shown.append(shownOn(form));
                                }
                                if (byTimer) {
                                    timerOf(form).start(1);  // rather than wait 30 seconds
                                } else {
                                    press(form, "sbtSair");
                                }
                            },
                            readAndLeave(&reopened)});
        ShowExtratoGrupo(m_context, QString(), QString());
        ShowExtratoGrupo(m_context, QString(), QString());
        VERIFY_SCRIPT_RAN(script);
        const auto month = [](const Shown& s) { return QStringList{s.monthButton, s.period} + s.lists(); };
        const QStringList april{"Mês Atual", "01/04/2024 30/04/2024 Abril", "Pratos 21,00", "Prato Executivo",
                                "12,50 8,50"};
        const QStringList may{"01/05/2024 31/05/2024 Maio", MayList, "Chocolate", "16,25 30,20"};
        QCOMPARE(shown.size(), 3);
        QCOMPARE(month(shown[0]), april);
        QCOMPARE(month(shown[1]), QStringList{"Mês Anterior"} + may);
        QCOMPARE(month(shown[2]), april);
        QCOMPARE(month(reopened), QStringList{"&Mês\nAnterior"} + may);
    }

    // A generated consumer of client 10 lunches at branch 0001 most working days, so every list has rows to
    // move through. Alt+F4 must not end the consultation, from a grid or from the form.
    void navigationMovesFocusesAndRestartsCountdown() {
        useConsumer(QStringLiteral("2001"), QStringLiteral("Consumidor"));
        const std::pair<const char*, const char*> presses[] = {
            {"sbtUltProd", "dbgProdutos"},  {"sbtProdPost", "dbgProdutos"}, {"sbtPrimProd", "dbgProdutos"},
            {"sbtProdPost", "dbgProdutos"}, {"sbtProdAnt", "dbgProdutos"},  {"sbtProdAnt", "dbgProdutos"},
            {"sbtGrupoAnt", "dbgSubGrupo"}, {"sbtGrupoPost", "dbgSubGrupo"}};
        QStringList moves;  // button, the grid's row, whether it has the focus and the countdown restarted
        int lastProduct = -1;
        QString productSubGroups;
        QString selectedSubGroup;
        bool openAfterAltF4 = false;
        ModalScript script({[&](QDialog& form) {
            lastProduct = childOf<QTableView>(form, "dbgProdutos").model()->rowCount() - 1;
            for (const auto& [button, grid] : presses) {
                timerOf(form).stop();
                press(form, button);
                moves.append(QStringLiteral("%1 %2 %3 %4")
                                 .arg(QLatin1String(button))
                                 .arg(childOf<QTableView>(form, grid).currentIndex().row())
                                 .arg(QApplication::focusWidget() == &childOf<QTableView>(form, grid))
                                 .arg(timerOf(form).isActive() && timerOf(form).interval() == 30000));
            }
            auto& products = childOf<TClientDataSet>(form, "cdsProduto");
            QStringList codes;
            for (int row = 0; row < products.RecordCount(); ++row) {
                codes.append(products.valueAt(row, products.FieldByName("CDSUBGRPROD").Index()).toString());
            }
            codes.removeDuplicates();
            productSubGroups = codes.join(u',');
            selectedSubGroup =
                childOf<TClientDataSet>(form, "cdsFinal").FieldByName("CDSUBGRPROD").asString();
            QTest::keyClick(&childOf<QTableView>(form, "dbgSubGrupo"), Qt::Key_F4, Qt::AltModifier);
            QTest::keyClick(&form, Qt::Key_F4, Qt::AltModifier);
            openAfterAltF4 = form.isVisible();
            press(form, "sbtSair");
        }});
        ShowExtratoGrupo(m_context, QString(), QString());
        VERIFY_SCRIPT_RAN(script);
        QVERIFY2(lastProduct >= 1, "the first sub-group needs two lines or more");
        const QString last = QString::number(lastProduct);
        QCOMPARE(moves, (QStringList{"sbtUltProd " + last + " 1 1", "sbtProdPost " + last + " 1 1",
                                     "sbtPrimProd 0 1 1", "sbtProdPost 1 1 1", "sbtProdAnt 0 1 1",
                                     "sbtProdAnt 0 1 1", "sbtGrupoAnt 0 1 1", "sbtGrupoPost 1 1 1"}));
        QCOMPARE(productSubGroups, selectedSubGroup);
        QVERIFY(openAfterAltF4);
    }

    // A blank interval leaves the timer off, at the layout's interval; one of 0 never runs.
    void inactivityTimerOff_data() {
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<int>("interval");
        dataRow("blank", "", 100000);
        dataRow("0", "0", 0);
    }

    void inactivityTimerOff() {
        QFETCH(QString, seconds);
        QFETCH(int, interval);
        m_context.NRSEGFECTOT = seconds;
        Shown atSetUp;
        Shown afterPress;
        ModalScript script({[&](QDialog& form) {
            atSetUp = shownOn(form);
            timerOf(form).stop();
            press(form, "sbtGrupoPost");
            afterPress = shownOn(form);
            press(form, "sbtSair");
        }});
        ShowExtratoGrupo(m_context, QString(), QString());
        VERIFY_SCRIPT_RAN(script);
        QVERIFY(!atSetUp.timerActive && !afterPress.timerActive);
        QCOMPARE(atSetUp.timerInterval, interval);
        QCOMPARE(afterPress.timerInterval, interval);
    }

    void failuresAtCreationLeaveTheScreenOpen_data() {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("endDay");
        QTest::addColumn<bool>("noServer");
        QTest::addColumn<QString>("report");
        QTest::addColumn<QStringList>("headerAndPeriod");
        const QString ana = QStringLiteral("1001 - Ana Paula Ribeiro");
        dataRow("server error text", "12345678901", "", false,
                "CDGRUPPROD: o valor informado tem mais de 10 caracteres.|Cli_Qvr00200|getProdutos|"
                "0001-10-1001-12345678901-01/05/2024-31/05/2024-3",
                QStringList{ana, "01/05/2024 31/05/2024 Maio"});
        dataRow("no server answers", "", "", true, "ErrorReport:Erro durante conexão", QStringList{"", "  "});
        dataRow("end day the month lacks", "", "31", false, "ErrorReport:", QStringList{ana, "  "});
    }

    void failuresAtCreationLeaveTheScreenOpen() {
        QFETCH(QString, group);
        QFETCH(QString, endDay);
        QFETCH(bool, noServer);
        QFETCH(QString, report);
        QFETCH(QStringList, headerAndPeriod);
        m_context.CDGRUPPROD = group;
        m_context.NRDIAFINTOT = endDay;
        if (noServer) {
            pointKioskAt(*m_env, 1);  // nothing listens on port 1 of the loopback
        }
        QString reported;
        Shown shown;
        ModalScript script({noServer || !endDay.isEmpty() ? answerErrorReport(&reported)
                                                          : answerMessageWithDetails(&reported),
                            readAndLeave(&shown)});
        ShowExtratoGrupo(m_context, QStringLiteral("3"), QStringLiteral("Cafeteria"));
        VERIFY_SCRIPT_RAN(script);
        for (const QString& part : report.split(u'|')) {
            QVERIFY2(reported.contains(part), qPrintable(reported));
        }
        QCOMPARE(QStringList({shown.header, shown.period}), headerAndPeriod);
        QCOMPARE(shown.store, noServer ? QString() : QStringLiteral("Loja  3  Cafeteria"));
        QCOMPARE(shown.lists(), QStringList({"", "", "00,00 00,00"}));
        QVERIFY(!shown.timerActive);
    }

    void timerDuringFailedMonthChangeReport_data() {
        QTest::addColumn<bool>("serverGone");
        dataRow("server error text", false);
        dataRow("server gone", true);
    }

    // The inactivity timer goes on while the report of a failed month change is shown over the screen; when
    // it fires there, the screen closes under the report, and the show function returns once the report is
    // closed.
    void timerDuringFailedMonthChangeReport() {
        QFETCH(bool, serverGone);
        ServerProcess ownServer({QStringLiteral("--database"), m_server->database()});
        QVERIFY2(ownServer.failure().isEmpty(), qPrintable(ownServer.failure()));
        pointKioskAt(*m_env, ownServer.port());
        Shown underReport;
        bool closedUnderReport = false;
        QString reported;
        const auto reportStep = [&](QDialog& report) {
            QDialog* form = qobject_cast<QDialog*>(topLevelNamed(QStringLiteral("frmExtratoGrupo")));
            QVERIFY(form != nullptr);
            underReport = shownOn(*form);
            timerOf(*form).setInterval(1);
            QTRY_VERIFY_WITH_TIMEOUT(!form->isVisible(), 2000);
            closedUnderReport = true;
            reported = report.objectName();
            if (serverGone) {
                report.accept();
            } else {
                QTest::keyClick(&report, Qt::Key_Return);
            }
        };
        ModalScript script({[&](QDialog& form) {
                                if (serverGone) {
                                    ownServer.terminate();
                                } else {
                                    m_context.CDGRUPPROD = QStringLiteral("12345678901");
                                }
                                press(form, "sbtMesAnt");
                            },
                            reportStep});
        ShowExtratoGrupo(m_context, QString(), QString());
        VERIFY_SCRIPT_RAN(script);
        QCOMPARE(reported, serverGone ? QStringLiteral("ErrorReport") : QStringLiteral("frmMensagem"));
        QCOMPARE(underReport.monthButton, QStringLiteral("Mês Atual"));
        QCOMPARE(underReport.period, QStringLiteral("01/04/2024 30/04/2024 Abril"));
        QCOMPARE(underReport.lists(), QStringList({"", "", "00,00 00,00"}));
        QVERIFY(underReport.timerActive);
        QVERIFY(closedUnderReport);

        // The next consumer starts on the current month.
        m_context.CDGRUPPROD.clear();
        pointKioskAt(*m_env, m_server->server().port());
        Shown reopened;
        ModalScript again({readAndLeave(&reopened)});
        ShowExtratoGrupo(m_context, QString(), QString());
        VERIFY_SCRIPT_RAN(again);
        QCOMPARE(reopened.period, QStringLiteral("01/05/2024 31/05/2024 Maio"));
        QCOMPARE(reopened.subGroups, MayList);
    }

private:
    // The header shows the code typed, here the consumer's own.
    void useConsumer(const QString& consumer, const QString& name) {
        consultAs(m_context, consumer, name, consumer);
    }

    std::unique_ptr<AppServerFixture> m_server;
    std::unique_ptr<TestEnvironment> m_env;
    TerminalContext m_context;
};

QTEST_MAIN(TestGroupStatement)
#include "tst_groupstatement.moc"

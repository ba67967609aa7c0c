#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include "kit/Buttons.h"
#include "kit/Modal.h"
#include "platform/Registry.h"
#include "server/ClientDataSet.h"
#include "statements/TfrmExtratoGrupo.h"
#include "support/Rows.h"
#include "support/ServerProcess.h"
#include "support/TestEnvironment.h"
#include "support/Widgets.h"
#include "terminal/TerminalContext.h"

#include <memory>

// The group statement against the real application server and its demo data, with the demo's today and
// the kiosk's clock on 15/05/2024. Ana (consumer 1001) bought in May at stores 1, 2, T and 3, and once in
// April; Bruno (1002) never bought anything.
// Every dialog the script expects was shown and no step recorded a fault.
#define VERIFY_SCRIPT_RAN(script)                                         \
    QVERIFY2((script).faults().isEmpty() && (script).pendingSteps() == 0, \
             qPrintable((script).faults().join(u'\n') +                   \
                        QStringLiteral(" (%1 steps left)").arg((script).pendingSteps())))

namespace {

const QDate DemoToday(2024, 5, 15);
const QString MayList = QStringLiteral(
    "Mercearia 4,20|Sucos e Refrigerantes 4,00|Bebidas Quentes 3,00|Sobremesas 11,25|Lanches 3,00|Pratos "
    "21,00");

// What the screen shows, read from its controls.
struct Shown {
    bool read = false;  // the screen was open when read
    QString header;
    QString period;  // start, end and month name
    QString store;
    QString subGroups;  // "name amount" rows, top to bottom, joined by "|"
    QString products;   // product names of the product grid, joined by "|"
    QString totals;     // subsidised, then employee
    QString monthButton;
    bool timerActive = false;
    int timerInterval = 0;
};

QString label(const QDialog& form, const char* name) {
    return childOf<QLabel>(form, name).text();
}

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

int gridCurrentRow(const QDialog& form, const char* name) {
    return childOf<QTableView>(form, name).currentIndex().row();
}

QTimer& timerOf(const QDialog& form) {
    auto* timer = form.findChild<QTimer*>(QStringLiteral("timDataHora"));
    if (timer == nullptr) {
        throw std::runtime_error("no timDataHora");
    }
    return *timer;
}

// Reads an open screen; a screen that has closed already is a fault of the step.
Shown shownOn(const QDialog& form) {
    if (!form.isVisible()) {
        throw std::runtime_error("the group statement has closed already");
    }
    Shown shown;
    shown.read = true;
    shown.header = label(form, "lblCabec");
    shown.period = QStringList{label(form, "lblDe"), label(form, "lblAte"), label(form, "lblMes")}.join(u' ');
    shown.store = label(form, "lblLoja");
    shown.subGroups = gridRows(form, "dbgSubGrupo", {0, 1});
    shown.products = gridRows(form, "dbgProdutos", {1});
    shown.totals = label(form, "lblTotSubs") + u' ' + label(form, "lblTotFunc");
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

// Records the text and details of the message form and closes it.
ModalScript::Step answerMessage(QString* text) {
    return [text](QDialog& message) {
        press(message, "tcbDetalhes");
        *text = childOf<QLabel>(message, "lblMessage").text() + u'\n' +
                childOf<QTextEdit>(message, "redDetalhes").toPlainText();
        QTest::keyClick(&message, Qt::Key_Return);
    };
}

// Records the text of the application's plain error report and closes it.
ModalScript::Step answerErrorReport(QString* text) {
    return [text](QDialog& box) {
        *text = box.objectName() + u':' + box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
        box.accept();
    };
}

}  // namespace

class TestGroupStatement : public QObject {
    Q_OBJECT
private slots:

    void initTestCase() {
        m_database = m_dir.filePath(QStringLiteral("demo.db"));
        const QString failure = ServerProcess::createDemo(m_database, DemoToday);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        m_server = std::make_unique<ServerProcess>(QStringList{QStringLiteral("--database"), m_database});
        QVERIFY2(m_server->failure().isEmpty(), qPrintable(m_server->failure()));
    }

    void init() {
        m_env = std::make_unique<TestEnvironment>(QDateTime(DemoToday, QTime(10, 30)));
        pointKioskAt(m_server->port());
        TerminalContext& context = TerminalContext::current();
        context = TerminalContext{};
        context.branchCode = QStringLiteral("0001");
        context.registerCode = QStringLiteral("004");
        context.NRSEGFECTOT = QStringLiteral("30");
        useConsumer(QStringLiteral("1001"), QStringLiteral("Ana Paula Ribeiro"));
    }

    void cleanup() {
        TerminalContext::current() = TerminalContext{};
        m_env.reset();
        QVERIFY(qobject_cast<QDialog*>(topLevelNamed(QStringLiteral("frmExtratoGrupo"))) == nullptr);
    }

    void listsSubGroupsOfThePeriod_data() {
        QTest::addColumn<QString>("consumer");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("storeCode");
        QTest::addColumn<QString>("storeName");
        QTest::addColumn<QString>("store");
        QTest::addColumn<QString>("subGroups");
        QTest::addColumn<QString>("products");
        QTest::addColumn<QString>("totals");
        dataRow("every store, reversed, courtesies left out", "1001", "", "", "", "", MayList, "Chocolate",
                "16,25 30,20");
        dataRow("empty store code with a name", "1001", "", "", "Cafeteria", "", MayList, "Chocolate",
                "16,25 30,20");
        dataRow("all stores entry", "1001", "", "T", "TODAS", "Loja  T  TODAS", MayList, "Chocolate",
                "16,25 30,20");
        dataRow("one store", "1001", "", "1", "Restaurante", "Loja  1  Restaurante",
                "Sucos e Refrigerantes 4,00|Pratos 21,00", "Suco Natural", "13,50 11,50");
        dataRow("meals group", "1001", "1", "", "", "", "Sobremesas 11,25|Lanches 3,00|Pratos 21,00",
                "Salada de Frutas (kg)", "15,25 20,00");
        dataRow("no purchases", "1002", "", "", "", "", "", "", "0,00 0,00");
    }

    void listsSubGroupsOfThePeriod() {
        QFETCH(QString, consumer);
        QFETCH(QString, group);
        QFETCH(QString, storeCode);
        QFETCH(QString, storeName);
        QFETCH(QString, store);
        QFETCH(QString, subGroups);
        QFETCH(QString, products);
        QFETCH(QString, totals);
        useConsumer(consumer, QStringLiteral("Consumidor ") + consumer);
        TerminalContext::current().CDGRUPPROD = group;
        Shown shown;
        ModalScript script({readAndLeave(&shown)});
        ShowExtratoGrupo(storeCode, storeName);
        VERIFY_SCRIPT_RAN(script);
        QCOMPARE(shown.header, consumer + QStringLiteral(" - Consumidor ") + consumer);
        QCOMPARE(shown.period, QStringLiteral("01/05/2024 31/05/2024 Maio"));
        QCOMPARE(shown.store, store);
        QCOMPARE(shown.subGroups, subGroups);
        QCOMPARE(shown.products, products);
        QCOMPARE(shown.totals, totals);
    }

    void monthButtonTwice() {
        QList<Shown> shown;
        ModalScript script({[&](QDialog& form) {
            press(form, "sbtMesAnt");
            shown.append(shownOn(form));
            press(form, "sbtMesAnt");
            shown.append(shownOn(form));
            press(form, "sbtSair");
        }});
        ShowExtratoGrupo(QString(), QString());
        VERIFY_SCRIPT_RAN(script);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].monthButton, QStringLiteral("Mês Atual"));
        QCOMPARE(shown[0].header, QStringLiteral("1001 - Ana Paula Ribeiro"));
        QCOMPARE(shown[0].period, QStringLiteral("01/04/2024 30/04/2024 Abril"));
        QCOMPARE(shown[0].subGroups, QStringLiteral("Pratos 21,00"));
        QCOMPARE(shown[0].products, QStringLiteral("Prato Executivo"));
        QCOMPARE(shown[0].totals, QStringLiteral("12,50 8,50"));
        QCOMPARE(shown[1].monthButton, QStringLiteral("Mês Anterior"));
        QCOMPARE(shown[1].period, QStringLiteral("01/05/2024 31/05/2024 Maio"));
        QCOMPARE(shown[1].subGroups, MayList);
        QCOMPARE(shown[1].totals, QStringLiteral("16,25 30,20"));
    }

    void closingOnThePreviousMonthReopensOnTheCurrent_data() {
        QTest::addColumn<bool>("byTimer");
        dataRow("Sair", false);
        dataRow("inactivity timer", true);
    }

    void closingOnThePreviousMonthReopensOnTheCurrent() {
        QFETCH(bool, byTimer);
        QString periodBeforeClosing;
        Shown reopened;
        ModalScript script({[&](QDialog& form) {
                                press(form, "sbtMesAnt");
                                periodBeforeClosing = label(form, "lblMes");
                                if (byTimer) {
                                    timerOf(form).start(1);  // rather than wait 30 seconds
                                } else {
                                    press(form, "sbtSair");
                                }
                            },
                            readAndLeave(&reopened)});
        ShowExtratoGrupo(QString(), QString());
        ShowExtratoGrupo(QString(), QString());
        VERIFY_SCRIPT_RAN(script);
        QCOMPARE(periodBeforeClosing, QStringLiteral("Abril"));
        QCOMPARE(reopened.period, QStringLiteral("01/05/2024 31/05/2024 Maio"));
        QCOMPARE(reopened.monthButton, QStringLiteral("&Mês\nAnterior"));
        QCOMPARE(reopened.subGroups, MayList);
    }

    // A generated consumer of client 10 lunches at branch 0001 most working days, so every list has rows to
    // move through.
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
        ModalScript script({[&](QDialog& form) {
            lastProduct = childOf<QTableView>(form, "dbgProdutos").model()->rowCount() - 1;
            for (const auto& [button, grid] : presses) {
                timerOf(form).stop();
                press(form, button);
                moves.append(QStringLiteral("%1 %2 %3 %4")
                                 .arg(QLatin1String(button))
                                 .arg(gridCurrentRow(form, grid))
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
            press(form, "sbtSair");
        }});
        ShowExtratoGrupo(QString(), QString());
        VERIFY_SCRIPT_RAN(script);
        QVERIFY2(lastProduct >= 1, "the first sub-group needs two lines or more");
        const QString last = QString::number(lastProduct);
        QCOMPARE(moves, (QStringList{"sbtUltProd " + last + " 1 1", "sbtProdPost " + last + " 1 1",
                                     "sbtPrimProd 0 1 1", "sbtProdPost 1 1 1", "sbtProdAnt 0 1 1",
                                     "sbtProdAnt 0 1 1", "sbtGrupoAnt 0 1 1", "sbtGrupoPost 1 1 1"}));
        QCOMPARE(productSubGroups, selectedSubGroup);
    }

    void inactivityInterval_data() {
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<bool>("active");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("activeAfterPress");
        dataRow("30", "30", true, 30000, true);
        dataRow("blank", "", false, 100000, false);
        dataRow("-5", "-5", false, 100000, false);
        dataRow("0: never fires", "0", false, 0, false);
    }

    void inactivityInterval() {
        QFETCH(QString, seconds);
        QFETCH(bool, active);
        QFETCH(int, interval);
        QFETCH(bool, activeAfterPress);
        TerminalContext::current().NRSEGFECTOT = seconds;
        Shown atSetUp;
        Shown afterPress;
        ModalScript script({[&](QDialog& form) {
            atSetUp = shownOn(form);
            timerOf(form).stop();
            press(form, "sbtGrupoPost");
            afterPress = shownOn(form);
            press(form, "sbtSair");
        }});
        ShowExtratoGrupo(QString(), QString());
        VERIFY_SCRIPT_RAN(script);
        QVERIFY(atSetUp.read && afterPress.read);
        QCOMPARE(atSetUp.timerActive, active);
        QCOMPARE(atSetUp.timerInterval, interval);
        QCOMPARE(afterPress.timerActive, activeAfterPress);
        QCOMPARE(afterPress.timerInterval, interval);
    }

    void altF4IsSwallowed() {
        bool openAfterAltF4 = false;
        ModalScript script({[&](QDialog& form) {
            auto& grid = childOf<QTableView>(form, "dbgSubGrupo");
            grid.setFocus();
            QTest::keyClick(&grid, Qt::Key_F4, Qt::AltModifier);
            QTest::keyClick(&form, Qt::Key_F4, Qt::AltModifier);
            openAfterAltF4 = form.isVisible();
            press(form, "sbtSair");
        }});
        ShowExtratoGrupo(QString(), QString());
        VERIFY_SCRIPT_RAN(script);
        QVERIFY(openAfterAltF4);
    }

    void failuresAtCreationLeaveTheScreenOpen_data() {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("endDay");
        QTest::addColumn<bool>("noServer");
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("period");
        dataRow("server error text", "12345678901", "", false,
                "CDGRUPPROD: o valor informado tem mais de 10 caracteres.|Cli_Qvr00200|getProdutos|"
                "0001-10-1001-12345678901-01/05/2024-31/05/2024-3",
                "1001 - Ana Paula Ribeiro", "01/05/2024 31/05/2024 Maio");
        dataRow("no server answers", "", "", true, "ErrorReport:Erro durante conexão", "", "  ");
        dataRow("end day the month lacks", "", "31", false, "ErrorReport:", "1001 - Ana Paula Ribeiro", "  ");
    }

    void failuresAtCreationLeaveTheScreenOpen() {
        QFETCH(QString, group);
        QFETCH(QString, endDay);
        QFETCH(bool, noServer);
        QFETCH(QString, report);
        QFETCH(QString, header);
        QFETCH(QString, period);
        TerminalContext::current().CDGRUPPROD = group;
        TerminalContext::current().NRDIAFINTOT = endDay;
        if (noServer) {
            pointKioskAt(1);  // nothing listens on port 1 of the loopback
        }
        QString reported;
        Shown shown;
        ModalScript script(
            {noServer || !endDay.isEmpty() ? answerErrorReport(&reported) : answerMessage(&reported),
             readAndLeave(&shown)});
        ShowExtratoGrupo(QStringLiteral("3"), QStringLiteral("Cafeteria"));
        VERIFY_SCRIPT_RAN(script);
        for (const QString& part : report.split(u'|')) {
            QVERIFY2(reported.contains(part), qPrintable(reported));
        }
        QCOMPARE(shown.header, header);
        QCOMPARE(shown.period, period);
        QCOMPARE(shown.store, noServer ? QString() : QStringLiteral("Loja  3  Cafeteria"));
        QCOMPARE(shown.subGroups, QString());
        QCOMPARE(shown.products, QString());
        QCOMPARE(shown.totals, QStringLiteral("00,00 00,00"));
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
        ServerProcess ownServer({QStringLiteral("--database"), m_database});
        QVERIFY2(ownServer.failure().isEmpty(), qPrintable(ownServer.failure()));
        pointKioskAt(ownServer.port());
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
                                    TerminalContext::current().CDGRUPPROD = QStringLiteral("12345678901");
                                }
                                press(form, "sbtMesAnt");
                            },
                            reportStep});
        ShowExtratoGrupo(QString(), QString());
        VERIFY_SCRIPT_RAN(script);
        QCOMPARE(reported, serverGone ? QStringLiteral("ErrorReport") : QStringLiteral("frmMensagem"));
        QCOMPARE(underReport.monthButton, QStringLiteral("Mês Atual"));
        QCOMPARE(underReport.period, QStringLiteral("01/04/2024 30/04/2024 Abril"));
        QCOMPARE(underReport.subGroups, QString());
        QCOMPARE(underReport.products, QString());
        QCOMPARE(underReport.totals, QStringLiteral("00,00 00,00"));
        QVERIFY(underReport.timerActive);
        QVERIFY(closedUnderReport);

        // The next consumer starts on the current month.
        TerminalContext::current().CDGRUPPROD.clear();
        pointKioskAt(m_server->port());
        Shown reopened;
        ModalScript again({readAndLeave(&reopened)});
        ShowExtratoGrupo(QString(), QString());
        VERIFY_SCRIPT_RAN(again);
        QCOMPARE(reopened.period, QStringLiteral("01/05/2024 31/05/2024 Maio"));
        QCOMPARE(reopened.subGroups, MayList);
    }

private:
    void pointKioskAt(int port) {
        m_env->setRegistryValue(platform::Registry::ServerAddressValue, QStringLiteral("127.0.0.1"));
        m_env->setRegistryValue(platform::Registry::ServerPortValue, QString::number(port));
    }

    void useConsumer(const QString& consumer, const QString& name) {
        TerminalContext& context = TerminalContext::current();
        context.CDCLIENTE = QStringLiteral("10");
        context.CDCONSUMIDOR = consumer;
        context.NMCONSUMIDOR = name;
        context.typedCode = consumer;
    }

    QTemporaryDir m_dir;
    QString m_database;
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestGroupStatement)
#include "tst_groupstatement.moc"

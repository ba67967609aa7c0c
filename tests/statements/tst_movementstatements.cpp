#include <QAbstractButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>

#include "StatementSuite.h"
#include "dialogs/TfrmMensagem.h"
#include "server/ClientDataSet.h"
#include "statements/TfrmExtratoDetalhado.h"
#include "statements/TfrmExtratoSimplificado.h"

#include <functional>

namespace {

// The two statements of account movements, by what the tests need to reach in each.
struct Screen {
    QString form;
    const char* movementsGrid;
    const char* movements;
    const char* previous;
    const char* next;
    const char* timer;
    QString movementsReport;  // the details of the server's refusal of a branch code too long
    std::function<std::unique_ptr<QDialog>(const TerminalContext&)> create;
    std::function<void(const TerminalContext&)> show;
};

const Screen Simplified{
    QStringLiteral("frmExtratoSimplificado"),
    "dbgExtSimples",
    "cdsExtrato",
    "bbbAnterior",
    "bbbProximo",
    "tmrDataHora",
    QStringLiteral("Programa: Cli_Qvr00300\nMétodo: getMoviClie\n"
                   "Parâmetros: 00011-10-1001-01/05/2024-31/05/2024"),
    [](const TerminalContext& context) { return std::make_unique<TfrmExtratoSimplificado>(context); },
    [](const TerminalContext& context) { ShowExtratoSimplificado(context); }};
const Screen Detailed{QStringLiteral("frmExtratoDetalhado"),
                      "dbgMoviCli",
                      "cdsMovCli",
                      "bbbMovCliAnterior",
                      "bbbMovCliProximo",
                      "timDataHora",
                      QStringLiteral("Programa: Cli_Qvr00400\nMétodo: getMoviClie\n"
                                     "Parâmetros: 00011-1001-10-01/05/2024-31/05/2024"),
                      [](const TerminalContext& context) {
                          return std::make_unique<TfrmExtratoDetalhado>(context, "0001", "002");
                      },
                      [](const TerminalContext& context) { ShowExtratoDetalhado(context, "0001", "002"); }};

// The screen of the running data row.
const Screen& fetchedScreen() {
    QFETCH(QString, screen);
    return screen == QLatin1String("simplified") ? Simplified : Detailed;
}

// A test run once on each statement.
#define ON_BOTH_SCREENS(test)                                \
    void test##_data() {                                     \
        QTest::addColumn<QString>("screen");                 \
        dataRow("simplified", QStringLiteral("simplified")); \
        dataRow("detailed", QStringLiteral("detailed"));     \
    }

QStringList rowOf(const QTableView& grid, int row) {
    QStringList cells;
    for (int column = 0; column < grid.model()->columnCount(); ++column) {
        cells.append(grid.model()->index(row, column).data().toString());
    }
    return cells;
}

}  // namespace

// Ana (consumer 1001), whose movements and purchases of May 2024 the demo writes by hand; the badge she
// swiped is not her consumer code.
class TestMovementStatements : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_server = std::make_unique<AppServerFixture>(Engine::Sqlite);
        QVERIFY2(m_server->failure().isEmpty(), qPrintable(m_server->failure()));
    }

    void init() {
        m_env = kioskAt(m_server->server().port(), m_context);
        consultAs(m_context, QStringLiteral("1001"), QStringLiteral("Ana Paula Ribeiro"),
                  QStringLiteral("900100010001000000123"));
    }

    void cleanup() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_env.reset();
    }

    ON_BOTH_SCREENS(showsTheMovements)
    void showsTheMovements() {
        const Screen& kind = fetchedScreen();
        ModalScript script;  // any message would be a fault
        const auto form = kind.create(m_context);
        VERIFY_SCRIPT(script);
        QCOMPARE(labelText(*form, "lblCabecalho"), QString("1001 - Ana Paula Ribeiro"));
        QCOMPARE(labelText(*form, "lblDtPeriodo"), QString("01/05/2024  -  31/05/2024"));
        QCOMPARE(labelText(*form, "lblVrSaldoIni"), QString("R$341,50"));
        QCOMPARE(labelText(*form, "lblVrSaldoFin"), QString("R$303,80"));
        const auto& grid = childOf<QTableView>(*form, kind.movementsGrid);
        QCOMPARE(rowOf(grid, 0), QStringList({"05/05/2024 08:00:00", "Crédito", "50,00", "341,50"}));
        QCOMPARE(rowOf(grid, 7), QStringList({"15/05/2024 00:05:00", "Débito", "-12,00", "303,80"}));
        // The list starts on its first row, after its balances were read.
        QCOMPARE(childOf<TClientDataSet>(*form, kind.movements).currentRow(), 0);
        QCOMPARE(grid.currentIndex().row(), 0);
        // The message box sits on the message band, its height fitted to one line of text.
        const auto& message = childOf<QTextEdit>(*form, "rceMsgAdi");
        QCOMPARE(message.toPlainText(), QString("Bom apetite!"));
        QCOMPARE(message.geometry(), QRect(8, 524, 705, 20));
        const auto& timer = childOf<QTimer>(*form, kind.timer);
        QVERIFY(timer.isActive());
        QCOMPARE(timer.interval(), 30000);
    }

    void detailedShowsThePurchases() {
        ModalScript script;
        TfrmExtratoDetalhado form(m_context, "0001", "002");
        VERIFY_SCRIPT(script);
        const auto& grid = childOf<QTableView>(form, "dbgVenda");
        QCOMPARE(modelColumn(*grid.model(), 4),
                 QStringList({"8,50", "3,00", "0,00", "2,50", "4,20", "0,00", "3,00", "9,00"}));
        QCOMPARE(rowOf(grid, 0),
                 QStringList({"12/05/2024 12:00:00", "Prato Executivo", "1", "8,50", "8,50"}));
        // The quantity is a general number: no trailing zeros, the decimal comma.
        QCOMPARE(rowOf(grid, 7).mid(2, 2), QStringList({"0,45", "20,00"}));
    }

    ON_BOTH_SCREENS(emptyPeriod)
    void emptyPeriod() {
        const Screen& kind = fetchedScreen();
        consultAs(m_context, QStringLiteral("1002"), QStringLiteral("Bruno Carvalho"),
                  QStringLiteral("1002"));
        ModalScript script;
        const auto form = kind.create(m_context);
        VERIFY_SCRIPT(script);
        QCOMPARE(labelText(*form, "lblVrSaldoIni"), QString("R$0,00"));
        QCOMPARE(labelText(*form, "lblVrSaldoFin"), QString("R$0,00"));
        const auto& list = childOf<TClientDataSet>(*form, kind.movements);
        QVERIFY(list.Active());
        QCOMPARE(list.RecordCount(), 0);
    }

    // The paging buttons stop at the list's ends and restart the countdown; a row chosen in the grid moves
    // the list too, and restarts the countdown on the simplified statement only.
    ON_BOTH_SCREENS(paging)
    void paging() {
        const Screen& kind = fetchedScreen();
        ModalScript script;
        const auto form = kind.create(m_context);
        const auto& list = childOf<TClientDataSet>(*form, kind.movements);
        auto& grid = childOf<QTableView>(*form, kind.movementsGrid);
        auto& timer = childOf<QTimer>(*form, kind.timer);
        timer.stop();
        press(*form, kind.previous);
        QCOMPARE(list.currentRow(), 0);
        QVERIFY(timer.isActive());
        for (int press_ = 1; press_ <= 10; ++press_) {
            timer.stop();
            press(*form, kind.next);
            QCOMPARE(list.currentRow(), std::min(press_, 7));
            QVERIFY(timer.isActive());
        }
        QCOMPARE(grid.currentIndex().row(), 7);
        press(*form, kind.previous);
        QCOMPARE(list.currentRow(), 6);
        timer.stop();
        grid.setCurrentIndex(grid.model()->index(3, 1));
        QCOMPARE(list.currentRow(), 3);
        QCOMPARE(timer.isActive(), &kind == &Simplified);
    }

    void simplifiedKeys_data() {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("row");
        dataRow("down, down, up", QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Up}, 1);
        dataRow("right, right, left", QList<int>{Qt::Key_Right, Qt::Key_Right, Qt::Key_Left}, 1);
        dataRow("other keys", QList<int>{Qt::Key_A, Qt::Key_Return, Qt::Key_PageDown}, 0);
    }
    void simplifiedKeys() {
        QFETCH(QList<int>, keys);
        QFETCH(int, row);
        ModalScript script;
        TfrmExtratoSimplificado form(m_context);
        for (int key : keys) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(&form, &press);
            QVERIFY2(!press.isAccepted(), "the key goes on");
        }
        QCOMPARE(childOf<TClientDataSet>(form, "cdsExtrato").currentRow(), row);
    }

    ON_BOTH_SCREENS(movementsErrorText)
    void movementsErrorText() {
        const Screen& kind = fetchedScreen();
        // A branch code too long: the server answers a text.
        m_context.branchCode = QStringLiteral("00011");
        QString details;
        int closesDuringSetUp = -1;
        ModalScript script({[&](QDialog& message) {
            // The inactivity timer fires under the report, while set-up waits: the screen stays; and the
            // countdown starts again once set-up has ended.
            QWidget* statement = topLevelNamed(kind.form);
            if (statement != nullptr) {
                auto& timer = childOf<QTimer>(*statement, kind.timer);
                QSignalSpy closed(static_cast<QDialog*>(statement), &QDialog::finished);
                timer.setInterval(1);
                QTest::qWait(50);
                closesDuringSetUp = static_cast<int>(closed.count());
                timer.stop();
                timer.setInterval(20000);
            }
            answerMessageWithDetails (&details)(message);
        }});
        const auto form = kind.create(m_context);
        VERIFY_SCRIPT(script);
        QCOMPARE(script.shown(), QStringList({"frmMensagem"}));
        QCOMPARE(closesDuringSetUp, 0);
        QVERIFY2(details.contains(kind.movementsReport), qPrintable(details));
        // Set-up stopped at the failure: what it had shown stays, the rest keeps the layout's texts.
        QCOMPARE(labelText(*form, "lblCabecalho"), QString("1001 - Ana Paula Ribeiro"));
        QCOMPARE(labelText(*form, "lblVrSaldoIni"), QString("250,00"));
        auto& timer = childOf<QTimer>(*form, kind.timer);
        QVERIFY(timer.isActive());
        QCOMPARE(timer.interval(), 20000);
        // Paging a list that was never loaded only restarts the countdown.
        timer.stop();
        press(*form, kind.next);
        press(*form, kind.previous);
        QVERIFY(timer.isActive());
        QCOMPARE(childOf<QTableView>(*form, kind.movementsGrid).model()->rowCount(), 0);
    }

    void purchasesErrorText() {
        QString details;
        ModalScript script({answerMessageWithDetails(&details)});
        TfrmExtratoDetalhado form(m_context, "0001", "0019");  // a register code too long for the server
        VERIFY_SCRIPT(script);
        QVERIFY2(details.contains("Programa: Cli_Qvr00400\nMétodo: getProduto\n"
                                  "Parâmetros: 0001-0019-10-1001-01/05/2024-31/05/2024"),
                 qPrintable(details));
        QCOMPARE(childOf<QTableView>(form, "dbgMoviCli").model()->rowCount(), 8);
        QCOMPARE(labelText(form, "lblVrSaldoFin"), QString("R$303,80"));
        QCOMPARE(childOf<QTableView>(form, "dbgVenda").model()->rowCount(), 0);
        QCOMPARE(childOf<QTimer>(form, "timDataHora").interval(), 20000);
    }

    ON_BOTH_SCREENS(intervalNotANumber)
    void intervalNotANumber() {
        const Screen& kind = fetchedScreen();
        m_context.NRSEGFECTOT = QStringLiteral("abc");
        QString failure;
        ModalScript script({answerErrorReport(&failure)});
        const auto form = kind.create(m_context);
        VERIFY_SCRIPT(script);
        QCOMPARE(failure, QString("ErrorReport:'abc' não é um valor inteiro válido para NRSEGFECTOT."));
        QCOMPARE(childOf<QTextEdit>(*form, "rceMsgAdi").toPlainText(), QString("Bom apetite!"));
        QCOMPARE(childOf<QTimer>(*form, kind.timer).interval(), 20000);
    }

    ON_BOTH_SCREENS(serverUnreachable)
    void serverUnreachable() {
        const Screen& kind = fetchedScreen();
        pointKioskAt(*m_env, 1);  // nothing listens on port 1 of the loopback
        QString failure;
        ModalScript script({answerErrorReport(&failure)});
        const auto form = kind.create(m_context);
        VERIFY_SCRIPT(script);
        QVERIFY(failure.startsWith("ErrorReport:"));
        QCOMPARE(labelText(*form, "lblCabecalho"), QString("0000 - Consumidor"));
        QCOMPARE(childOf<QTimer>(*form, kind.timer).interval(), 20000);
    }

    ON_BOTH_SCREENS(timerFiresUnderAMessage)
    void timerFiresUnderAMessage() {
        const Screen& kind = fetchedScreen();
        bool closedUnderTheMessage = false;
        ModalScript script;
        script.then([&](QDialog& statement) {
            childOf<QTimer>(statement, kind.timer).setInterval(1);
            ShowMessageForm("Aviso", QString(), "N", "N", 0, QString(), "002");
        });
        script.then([&](QDialog& message) {
            QWidget* statement = topLevelNamed(kind.form);
            closedUnderTheMessage =
                QTest::qWaitFor([&] { return statement == nullptr || !statement->isVisible(); }, 2000);
            press(message, "tcbOk");
        });
        kind.show(m_context);
        VERIFY_SCRIPT(script);
        QVERIFY(closedUnderTheMessage);
        QCOMPARE(script.shown(), QStringList({kind.form, "frmMensagem"}));
        QCOMPARE(topLevelNamed(kind.form), nullptr);
        QTRY_COMPARE(topLevelNamed("frmMensagem"), nullptr);
    }

    // The pair of paging buttons follows the focused grid, also once a message over the screen has closed and
    // activated it again.
    void detailedPagingFollowsTheFocus() {
        QStringList seen;
        int purchaseRow = -1;
        bool focusKept = false;
        ModalScript script;
        script.then([&](QDialog& statement) {
            auto& form = static_cast<TForm&>(statement);
            const auto pairs = [&] {
                seen.append(QStringLiteral("%1%2%3%4")
                                .arg(childOf<QAbstractButton>(form, "bbbMovCliAnterior").isEnabled())
                                .arg(childOf<QAbstractButton>(form, "bbbMovCliProximo").isEnabled())
                                .arg(childOf<QAbstractButton>(form, "bbbVendasAnterior").isEnabled())
                                .arg(childOf<QAbstractButton>(form, "bbbVendasProximo").isEnabled()));
            };
            const auto click = [&](const char* name, int row) {
                auto& grid = childOf<QTableView>(form, name);
                QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                                  grid.visualRect(grid.model()->index(row, 1)).center());
            };
            pairs();
            click("dbgVenda", 2);
            pairs();
            press(form, "bbbVendasProximo");
            purchaseRow = childOf<TClientDataSet>(form, "cdsProduto").currentRow();
            focusKept = childOf<QTableView>(form, "dbgVenda").hasFocus();
            click("dbgMoviCli", 1);
            pairs();
            click("dbgVenda", 0);
            const int activations = form.activationCount();
            ShowMessageForm("Aviso", QString(), "N", "N", 0, QString(), "002");
            if (QTest::qWaitFor([&] { return form.activationCount() > activations; }, 2000)) {
                pairs();
            }
            press(form, "bbbVoltar");
        });
        script.then([](QDialog& message) { press(message, "tcbOk"); });
        ShowExtratoDetalhado(m_context, "0001", "002");
        VERIFY_SCRIPT(script);
        QCOMPARE(seen, QStringList({"1100", "0011", "1100", "0011"}));
        QCOMPARE(purchaseRow, 3);
        QVERIFY(focusKept);
    }

    void detailedArrowKeysHoldTheCountdown_data() {
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QString>("list");
        dataRow("movements", "dbgMoviCli", "cdsMovCli");
        dataRow("purchases", "dbgVenda", "cdsProduto");
    }
    void detailedArrowKeysHoldTheCountdown() {
        QFETCH(QString, grid);
        QFETCH(QString, list);
        QStringList states;
        ModalScript script({[&](QDialog& form) {
            auto& view = childOf<QTableView>(form, qPrintable(grid));
            const auto& timer = childOf<QTimer>(form, "timDataHora");
            const auto& rows = childOf<TClientDataSet>(form, qPrintable(list));
            const auto state = [&](const char* step) {
                states.append(
                    QStringLiteral("%1:%2:%3").arg(step).arg(timer.isActive()).arg(rows.currentRow()));
            };
            view.setFocus();
            QTest::keyPress(&view, Qt::Key_Down);
            state("down pressed");
            QKeyEvent repeatedRelease(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier, QString(), true);
            QCoreApplication::sendEvent(&view, &repeatedRelease);
            state("down repeating");
            QKeyEvent repeatedPress(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
            QCoreApplication::sendEvent(&view, &repeatedPress);
            state("down held");
            QTest::keyRelease(&view, Qt::Key_Down);
            state("down released");
            QTest::keyPress(&view, Qt::Key_Up);
            state("up pressed");
            press(form, "bbbVoltar");
        }});
        ShowExtratoDetalhado(m_context, "0001", "002");
        VERIFY_SCRIPT(script);
        QCOMPARE(states, QStringList({"down pressed:0:1", "down repeating:0:1", "down held:0:2",
                                      "down released:1:2", "up pressed:0:1"}));
    }

private:
    std::unique_ptr<AppServerFixture> m_server;
    std::unique_ptr<TestEnvironment> m_env;
    TerminalContext m_context;
};

QTEST_MAIN(TestMovementStatements)
#include "tst_movementstatements.moc"

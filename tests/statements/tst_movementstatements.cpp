#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include "appserver/AppServerFixture.h"
#include "dialogs/TfrmMensagem.h"
#include "kit/Modal.h"
#include "platform/Registry.h"
#include "server/ClientDataSet.h"
#include "statements/TfrmExtratoDetalhado.h"
#include "statements/TfrmExtratoSimplificado.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"
#include "support/Widgets.h"
#include "terminal/TerminalContext.h"

#include <functional>
#include <memory>

using platform::Registry;

namespace {

// The two statements of account movements, by what the tests need to reach in each.
struct Screen {
    QString form;
    const char* movementsGrid;
    const char* movements;
    const char* previous;
    const char* next;
    const char* timer;
    Qt::Alignment balanceAlignment;
    QString program;
    std::function<std::unique_ptr<QDialog>()> create;
    std::function<void()> show;
};

const Screen Simplified{QStringLiteral("frmExtratoSimplificado"),
                        "dbgExtSimples",
                        "cdsExtrato",
                        "bbbAnterior",
                        "bbbProximo",
                        "tmrDataHora",
                        Qt::AlignRight,
                        QStringLiteral("Cli_Qvr00300"),
                        [] { return std::make_unique<TfrmExtratoSimplificado>(); },
                        [] { ShowExtratoSimplificado(); }};
const Screen Detailed{QStringLiteral("frmExtratoDetalhado"),
                      "dbgMoviCli",
                      "cdsMovCli",
                      "bbbMovCliAnterior",
                      "bbbMovCliProximo",
                      "timDataHora",
                      Qt::AlignLeft,
                      QStringLiteral("Cli_Qvr00400"),
                      [] { return std::make_unique<TfrmExtratoDetalhado>("0001", "002"); },
                      [] { ShowExtratoDetalhado("0001", "002"); }};

const Screen& screenNamed(const QString& name) {
    return name == QLatin1String("simplified") ? Simplified : Detailed;
}

// The screen of the running data row.
const Screen& fetchedScreen() {
    QFETCH(QString, screen);
    return screenNamed(screen);
}

void addScreenRows() {
    QTest::addColumn<QString>("screen");
    dataRow("simplified", QStringLiteral("simplified"));
    dataRow("detailed", QStringLiteral("detailed"));
}

// A test run once on each statement.
#define ON_BOTH_SCREENS(test) \
    void test##_data() {      \
        addScreenRows();      \
    }

// Ana, whose movements and purchases of May 2024 the demo writes by hand; the badge she swiped is not her
// consumer code.
void consultAs(const QString& client, const QString& consumer, const QString& name) {
    TerminalContext& terminal = TerminalContext::current();
    terminal = TerminalContext{};
    terminal.branchCode = QStringLiteral("0001");
    terminal.registerCode = QStringLiteral("002");
    terminal.CDCLIENTE = client;
    terminal.CDCONSUMIDOR = consumer;
    terminal.NMCONSUMIDOR = name;
    terminal.typedCode = QStringLiteral("900100010001000000123");
    terminal.NRSEGFECTOT = QStringLiteral("30");
    terminal.DSMSGADITOT = QStringLiteral("Bom apetite!");
}

QString text(const QWidget& screen, const char* label) {
    return childOf<QLabel>(screen, label).text();
}

QStringList rowOf(const QTableView& grid, int row) {
    QStringList cells;
    for (int column = 0; column < grid.model()->columnCount(); ++column) {
        cells.append(grid.model()->index(row, column).data().toString());
    }
    return cells;
}

QStringList titlesOf(const QTableView& grid) {
    QStringList titles;
    for (int column = 0; column < grid.model()->columnCount(); ++column) {
        titles.append(grid.model()->headerData(column, Qt::Horizontal).toString() + u'/' +
                      QString::number(grid.columnWidth(column)));
    }
    return titles;
}

// Answers the message form of a server error, keeping its details.
ModalScript::Step answerServerError(QString* details) {
    return [details](QDialog& message) {
        press(message, "tcbDetalhes");
        *details = childOf<QTextEdit>(message, "redDetalhes").toPlainText();
        press(message, "tcbOk");
    };
}

// Answers the application's plain error report, keeping its text.
ModalScript::Step answerFailure(QString* shown) {
    return [shown](QDialog& box) {
        *shown = static_cast<QMessageBox&>(box).text();
        box.accept();
    };
}

}  // namespace

class TestMovementStatements : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_server = std::make_unique<AppServerFixture>(Engine::Sqlite);
        QVERIFY2(m_server->failure().isEmpty(), qPrintable(m_server->failure()));
    }

    void init() {
        m_env = std::make_unique<TestEnvironment>(QDateTime(AppServerFixture::DemoToday, QTime(10, 30)));
        m_env->setRegistryValue(Registry::ServerAddressValue, QStringLiteral("127.0.0.1"));
        m_env->setRegistryValue(Registry::ServerPortValue, QString::number(m_server->server().port()));
        consultAs(QStringLiteral("10"), QStringLiteral("1001"), QStringLiteral("Ana Paula Ribeiro"));
    }

    void cleanup() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_env.reset();
    }

    ON_BOTH_SCREENS(showsTheMovements)
    void showsTheMovements() {
        const Screen& kind = fetchedScreen();
        ModalScript script;  // any message would be a fault
        const auto form = kind.create();
        VERIFY_SCRIPT(script);
        QCOMPARE(form->size(), QSize(792, 573));
        for (const QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
            const QRect place(button->mapTo(form.get(), QPoint()), button->size());
            QVERIFY2(form->rect().contains(place), qPrintable(button->objectName()));  // no key cut off
        }
        QCOMPARE(text(*form, "lblCabecalho"), QString("1001 - Ana Paula Ribeiro"));
        QCOMPARE(text(*form, "lblDtPeriodo"), QString("01/05/2024  -  31/05/2024"));
        QCOMPARE(text(*form, "lblVrSaldoIni"), QString("R$341,50"));
        QCOMPARE(text(*form, "lblVrSaldoFin"), QString("R$303,80"));
        QCOMPARE(childOf<QLabel>(*form, "lblVrSaldoIni").alignment() & Qt::AlignHorizontal_Mask,
                 kind.balanceAlignment);

        const auto& grid = childOf<QTableView>(*form, kind.movementsGrid);
        QCOMPARE(grid.model()->rowCount(), 8);
        QCOMPARE(rowOf(grid, 0), QStringList({"05/05/2024 08:00:00", "Crédito", "50,00", "341,50"}));
        QCOMPARE(modelColumn(*grid.model(), 1),
                 QStringList({"Crédito", "Débito", "Débito", "Cancelado", "Débito", "Ajuste de Saldo",
                              "Débito", "Débito"}));
        QCOMPARE(modelColumn(*grid.model(), 2),
                 QStringList({"50,00", "-11,50", "-8,00", "8,00", "-2,50", "-7,50", "-4,20", "-12,00"}));
        QCOMPARE(rowOf(grid, 7), QStringList({"15/05/2024 00:05:00", "Débito", "-12,00", "303,80"}));
        QCOMPARE(grid.model()->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
                     Qt::AlignHorizontal_Mask,
                 Qt::AlignRight);
        // The list starts on its first row, after its balances were read.
        QCOMPARE(childOf<TClientDataSet>(*form, kind.movements).currentRow(), 0);
        QCOMPARE(grid.currentIndex().row(), 0);

        QCOMPARE(childOf<QTextEdit>(*form, "rceMsgAdi").toPlainText(), QString("Bom apetite!"));
        const auto& timer = childOf<QTimer>(*form, kind.timer);
        QVERIFY(timer.isActive());
        QCOMPARE(timer.interval(), 30000);
    }

    void gridColumns_data() {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QStringList>("titles");
        dataRow("simplified", "simplified", "dbgExtSimples",
                QStringList({"Data/126", "Operação/308", "Valor/91", "Saldo/91"}));
        dataRow("detailed movements", "detailed", "dbgMoviCli",
                QStringList({"Data/130", "Operação/367", "Valor/79", "Saldo/102"}));
        dataRow("detailed purchases", "detailed", "dbgVenda",
                QStringList({"Data/130", "Produto/328", "Qtde/70", "Valor /66", "Vr. Total/87"}));
    }
    void gridColumns() {
        QFETCH(QString, screen);
        QFETCH(QString, grid);
        QFETCH(QStringList, titles);
        ModalScript script;
        const auto form = screenNamed(screen).create();
        QCOMPARE(titlesOf(childOf<QTableView>(*form, qPrintable(grid))), titles);
    }

    void detailedShowsThePurchases() {
        ModalScript script;
        TfrmExtratoDetalhado form("0001", "002");
        VERIFY_SCRIPT(script);
        const auto& grid = childOf<QTableView>(form, "dbgVenda");
        QCOMPARE(grid.model()->rowCount(), 8);
        QCOMPARE(modelColumn(*grid.model(), 4),
                 QStringList({"8,50", "3,00", "0,00", "2,50", "4,20", "0,00", "3,00", "9,00"}));
        QCOMPARE(rowOf(grid, 0),
                 QStringList({"12/05/2024 12:00:00", "Prato Executivo", "1", "8,50", "8,50"}));
        // The quantity is a general number: no trailing zeros, the decimal comma.
        QCOMPARE(rowOf(grid, 7).at(2), QString("0,45"));
        QCOMPARE(rowOf(grid, 7).at(3), QString("20,00"));
    }

    ON_BOTH_SCREENS(emptyPeriod)
    void emptyPeriod() {
        const Screen& kind = fetchedScreen();
        consultAs(QStringLiteral("10"), QStringLiteral("1002"), QStringLiteral("Bruno Carvalho"));
        ModalScript script;
        const auto form = kind.create();
        VERIFY_SCRIPT(script);
        QCOMPARE(text(*form, "lblVrSaldoIni"), QString("R$0,00"));
        QCOMPARE(text(*form, "lblVrSaldoFin"), QString("R$0,00"));
        const auto& list = childOf<TClientDataSet>(*form, kind.movements);
        QVERIFY(list.Active());
        QCOMPARE(list.RecordCount(), 0);
        auto& timer = childOf<QTimer>(*form, kind.timer);
        for (const char* button : {kind.next, kind.previous}) {
            timer.stop();
            press(*form, button);
            QVERIFY2(timer.isActive(), button);
            QCOMPARE(list.currentRow(), -1);
        }
    }

    ON_BOTH_SCREENS(rowLimits)
    void rowLimits() {
        const Screen& kind = fetchedScreen();
        ModalScript script;
        const auto form = kind.create();
        const auto& list = childOf<TClientDataSet>(*form, kind.movements);
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
        const auto& grid = childOf<QTableView>(*form, kind.movementsGrid);
        QCOMPARE(grid.currentIndex().row(), 7);
        press(*form, kind.previous);
        QCOMPARE(list.currentRow(), 6);
    }

    void simplifiedKeys_data() {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("row");
        dataRow("down", QList<int>{Qt::Key_Down}, 1);
        dataRow("right", QList<int>{Qt::Key_Right, Qt::Key_Right}, 2);
        dataRow("down then up", QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Up}, 1);
        dataRow("right then left", QList<int>{Qt::Key_Right, Qt::Key_Left}, 0);
        dataRow("up on the first row", QList<int>{Qt::Key_Up}, 0);
        dataRow("other keys", QList<int>{Qt::Key_A, Qt::Key_Return, Qt::Key_PageDown}, 0);
    }
    void simplifiedKeys() {
        QFETCH(QList<int>, keys);
        QFETCH(int, row);
        ModalScript script;
        TfrmExtratoSimplificado form;
        for (int key : keys) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(&form, &press);
            QVERIFY2(!press.isAccepted(), "the key goes on");
        }
        QCOMPARE(childOf<TClientDataSet>(form, "cdsExtrato").currentRow(), row);
    }

    // A row chosen in the grid restarts the countdown on the simplified statement only.
    ON_BOTH_SCREENS(rowMovesAndTheCountdown)
    void rowMovesAndTheCountdown() {
        const Screen& kind = fetchedScreen();
        ModalScript script;
        const auto form = kind.create();
        auto& grid = childOf<QTableView>(*form, kind.movementsGrid);
        auto& timer = childOf<QTimer>(*form, kind.timer);
        timer.stop();
        grid.setCurrentIndex(grid.model()->index(3, 1));
        QCOMPARE(childOf<TClientDataSet>(*form, kind.movements).currentRow(), 3);
        QCOMPARE(timer.isActive(), &kind == &Simplified);
    }

    // The register's inactivity interval and additional message, as each screen applies them.
    void registerParameters_data() {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<int>("messageLength");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QRect>("box");
        for (const char* screen : {"simplified", "detailed"}) {
            QTest::addRow("%s blank", screen) << screen << "" << 10 << 10000 << QRect(8, 524, 705, 20);
            QTest::addRow("%s 15, long message", screen)
                << screen << "15" << 160 << 15000 << QRect(8, 504, 705, 60);
            QTest::addRow("%s 0", screen) << screen << "0" << 10 << 0 << QRect(8, 524, 705, 20);
        }
    }
    void registerParameters() {
        QFETCH(QString, screen);
        QFETCH(QString, seconds);
        QFETCH(int, messageLength);
        QFETCH(int, interval);
        QFETCH(QRect, box);
        TerminalContext::current().NRSEGFECTOT = seconds;
        TerminalContext::current().DSMSGADITOT = QString(messageLength, u'a');
        ModalScript script;
        const auto form = screenNamed(screen).create();
        QCOMPARE(childOf<QTimer>(*form, screenNamed(screen).timer).interval(), interval);
        QCOMPARE(childOf<QTextEdit>(*form, "rceMsgAdi").geometry(), box);
        QCOMPARE(childOf<QTextEdit>(*form, "rceMsgAdi").toPlainText(), QString(messageLength, u'a'));
    }

    void movementsErrorText_data() {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("parameters");
        dataRow("simplified", "simplified", "00011-10-1001-01/05/2024-31/05/2024");
        dataRow("detailed", "detailed", "00011-1001-10-01/05/2024-31/05/2024");
    }
    void movementsErrorText() {
        QFETCH(QString, screen);
        QFETCH(QString, parameters);
        const Screen& kind = screenNamed(screen);
        TerminalContext::current().branchCode =
            QStringLiteral("00011");  // too long: the server answers a text
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
            answerServerError (&details)(message);
        }});
        const auto form = kind.create();
        VERIFY_SCRIPT(script);
        QCOMPARE(script.shown(), QStringList({"frmMensagem"}));
        QCOMPARE(closesDuringSetUp, 0);
        QVERIFY2(details.contains("Programa: " + kind.program +
                                  "\nMétodo: getMoviClie\nParâmetros: " + parameters),
                 qPrintable(details));

        QCOMPARE(text(*form, "lblCabecalho"), QString("1001 - Ana Paula Ribeiro"));
        QCOMPARE(text(*form, "lblDtPeriodo"), QString("01/05/2024  -  31/05/2024"));
        QCOMPARE(text(*form, "lblVrSaldoIni"), QString("250,00"));
        QCOMPARE(text(*form, "lblVrSaldoFin"), QString("250,00"));
        QCOMPARE(childOf<QTextEdit>(*form, "rceMsgAdi").toPlainText(), QString("Mensagem Parametrizada"));
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
        ModalScript script({answerServerError(&details)});
        TfrmExtratoDetalhado form("0001", "0019");  // a register code too long for the server
        VERIFY_SCRIPT(script);
        QVERIFY2(details.contains("Programa: Cli_Qvr00400\nMétodo: getProduto\n"
                                  "Parâmetros: 0001-0019-10-1001-01/05/2024-31/05/2024"),
                 qPrintable(details));
        QCOMPARE(childOf<QTableView>(form, "dbgMoviCli").model()->rowCount(), 8);
        QCOMPARE(text(form, "lblVrSaldoIni"), QString("R$341,50"));
        QCOMPARE(text(form, "lblVrSaldoFin"), QString("R$303,80"));
        QCOMPARE(childOf<QTableView>(form, "dbgVenda").model()->rowCount(), 0);
        QCOMPARE(childOf<QTextEdit>(form, "rceMsgAdi").toPlainText(), QString("Mensagem Parametrizada"));
        QCOMPARE(childOf<QTimer>(form, "timDataHora").interval(), 20000);
        press(form, "bbbVendasProximo");
        QVERIFY(childOf<QTimer>(form, "timDataHora").isActive());
    }

    ON_BOTH_SCREENS(intervalNotANumber)
    void intervalNotANumber() {
        const Screen& kind = fetchedScreen();
        TerminalContext::current().NRSEGFECTOT = QStringLiteral("abc");
        QString failure;
        ModalScript script({answerFailure(&failure)});
        const auto form = kind.create();
        VERIFY_SCRIPT(script);
        QCOMPARE(failure, QString("'abc' não é um valor inteiro válido para NRSEGFECTOT."));
        QCOMPARE(text(*form, "lblVrSaldoFin"), QString("R$303,80"));
        QCOMPARE(childOf<QTextEdit>(*form, "rceMsgAdi").toPlainText(), QString("Bom apetite!"));
        QCOMPARE(childOf<QTimer>(*form, kind.timer).interval(), 20000);
    }

    ON_BOTH_SCREENS(serverUnreachable)
    void serverUnreachable() {
        QFETCH(QString, screen);
        m_env->setRegistryValue(Registry::ServerPortValue, QStringLiteral("1"));
        QString failure;
        ModalScript script({answerFailure(&failure)});
        const auto form = screenNamed(screen).create();
        VERIFY_SCRIPT(script);
        QVERIFY(!failure.isEmpty());
        QCOMPARE(text(*form, "lblCabecalho"), QString("0000 - Consumidor"));
        QCOMPARE(childOf<QTimer>(*form, screenNamed(screen).timer).interval(), 20000);
    }

    void closing_data() {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<bool>("byTimer");
        for (const char* screen : {"simplified", "detailed"}) {
            QTest::addRow("%s by Back", screen) << screen << false;
            QTest::addRow("%s by the timer", screen) << screen << true;
        }
    }
    void closing() {
        QFETCH(QString, screen);
        QFETCH(bool, byTimer);
        const Screen& kind = screenNamed(screen);
        ModalScript script({[&](QDialog& statement) {
            if (byTimer) {
                childOf<QTimer>(statement, kind.timer).setInterval(1);
            } else {
                press(statement, "bbbVoltar");
            }
        }});
        kind.show();
        VERIFY_SCRIPT(script);
        QCOMPARE(script.shown(), QStringList({kind.form}));
        QCOMPARE(topLevelNamed(kind.form), nullptr);
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
        kind.show();
        VERIFY_SCRIPT(script);
        QVERIFY(closedUnderTheMessage);
        QCOMPARE(script.shown(), QStringList({kind.form, "frmMensagem"}));
        QCOMPARE(topLevelNamed(kind.form), nullptr);
        QTRY_COMPARE(topLevelNamed("frmMensagem"), nullptr);
    }

    void detailedPagingFollowsTheFocus() {
        QStringList seen;
        const auto pairs = [&](QDialog& form) {
            seen.append(QStringLiteral("%1%2%3%4")
                            .arg(childOf<QAbstractButton>(form, "bbbMovCliAnterior").isEnabled())
                            .arg(childOf<QAbstractButton>(form, "bbbMovCliProximo").isEnabled())
                            .arg(childOf<QAbstractButton>(form, "bbbVendasAnterior").isEnabled())
                            .arg(childOf<QAbstractButton>(form, "bbbVendasProximo").isEnabled()));
        };
        int purchaseRow = -1;
        bool focusKept = false;
        ModalScript script({[&](QDialog& form) {
            pairs(form);
            auto& purchases = childOf<QTableView>(form, "dbgVenda");
            QTest::mouseClick(purchases.viewport(), Qt::LeftButton, {},
                              purchases.visualRect(purchases.model()->index(2, 1)).center());
            pairs(form);
            press(form, "bbbVendasProximo");
            purchaseRow = childOf<TClientDataSet>(form, "cdsProduto").currentRow();
            focusKept = purchases.hasFocus();
            auto& movements = childOf<QTableView>(form, "dbgMoviCli");
            QTest::mouseClick(movements.viewport(), Qt::LeftButton, {},
                              movements.visualRect(movements.model()->index(1, 1)).center());
            pairs(form);
            press(form, "bbbVoltar");
        }});
        ShowExtratoDetalhado("0001", "002");
        VERIFY_SCRIPT(script);
        QCOMPARE(seen, QStringList({"1100", "0011", "1100"}));
        QCOMPARE(purchaseRow, 3);
        QVERIFY(focusKept);
    }

    // A message over the screen activates it again when it closes: the pair still follows the focused grid.
    void detailedPagingAfterAMessage() {
        QString pairs;
        ModalScript script;
        script.then([&](QDialog& statement) {
            auto& form = static_cast<TForm&>(statement);
            auto& purchases = childOf<QTableView>(form, "dbgVenda");
            QTest::mouseClick(purchases.viewport(), Qt::LeftButton, {},
                              purchases.visualRect(purchases.model()->index(0, 1)).center());
            const int activations = form.activationCount();
            ShowMessageForm("Aviso", QString(), "N", "N", 0, QString(), "002");
            if (QTest::qWaitFor([&] { return form.activationCount() > activations; }, 2000)) {
                pairs = QStringLiteral("%1%2")
                            .arg(childOf<QAbstractButton>(form, "bbbMovCliProximo").isEnabled())
                            .arg(childOf<QAbstractButton>(form, "bbbVendasProximo").isEnabled());
            }
            press(form, "bbbVoltar");
        });
        script.then([](QDialog& message) { press(message, "tcbOk"); });
        ShowExtratoDetalhado("0001", "002");
        VERIFY_SCRIPT(script);
        QCOMPARE(pairs, QString("01"));
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
            QTest::keyRelease(&view, Qt::Key_Up);
            state("up released");
            QTest::keyPress(&view, Qt::Key_Right);
            state("right pressed");
            press(form, "bbbVoltar");
        }});
        ShowExtratoDetalhado("0001", "002");
        VERIFY_SCRIPT(script);
        QCOMPARE(states,
                 QStringList({"down pressed:0:1", "down repeating:0:1", "down held:0:2", "down released:1:2",
                              "up pressed:0:1", "up released:1:1", "right pressed:1:1"}));
    }

private:
    std::unique_ptr<AppServerFixture> m_server;
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestMovementStatements)
#include "tst_movementstatements.moc"

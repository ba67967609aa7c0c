#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "TerminalSteps.h"
#include "kit/Application.h"
#include "kit/Modal.h"
#include "kit/core/Formats.h"
#include "kit/core/Strings.h"
#include "platform/Registry.h"
#include "server/ClientDataSet.h"
#include "support/Rows.h"
#include "support/ServerProcess.h"
#include "support/TestEnvironment.h"
#include "support/Widgets.h"
#include "terminal/IdleStrip.h"
#include "terminal/TerminalContext.h"
#include "terminal/TfrmTerminalConsu.h"

using platform::Registry;

namespace {

const QDate DemoToday(2024, 5, 15);
const QString AnasTrack = QStringLiteral("900100010001000000123");

}  // namespace

class TestTerminal : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        const QString failure = ServerProcess::createDemo(m_dir.filePath("demo.db"), DemoToday);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        startServer();
    }

    void init() {
        m_stage = std::make_unique<TerminalStage>(DemoToday, m_server->port());
        QVERIFY(m_stage->shellActive);
    }

    void cleanup() { m_stage.reset(); }

    void startupLoadsRegister() {
        auto terminal = openTerminal("0001", "001");
        QTRY_VERIFY(!terminal->isFirstActivationPending());
        const TerminalContext& context = TerminalContext::current();
        QCOMPARE(context.IDTIPEXTTOT, QStringLiteral("1"));
        QCOMPARE(context.NRPOSINICONS, 5);
        QCOMPARE(context.NRPOSFINCONS, 12);
        QCOMPARE(context.periodStart, formats::dateText(QDate(2024, 5, 1)));
        QCOMPARE(childOf<QLabel>(*terminal, "lblCdFilial").text(), QStringLiteral("0001"));
        QCOMPARE(childOf<QLabel>(*terminal, "lblCdCaixa").text(), QStringLiteral("001"));
        QCOMPARE(childOf<QLabel>(*terminal, "lblStatus2").text(), QStringLiteral("Endereço IP : 127.0.0.1"));
        QCOMPARE(childOf<QLabel>(*terminal, "lblStatus3").text(), QStringLiteral("Versão : 4.00"));
        const QString prompt = childOf<QLabel>(*terminal, "lblCabec").text();
        QCOMPARE(prompt, EmptyString(context.DSMSGCONTOT)
                             ? QStringLiteral("Passe o Crachá ou Digite o Código do Consumidor")
                             : context.DSMSGCONTOT);
        QVERIFY(terminal->isVisible());
    }

    void unknownRegisterEndsProgram() {
        QStringList messages;
        ModalScript script({answerMessage(&messages)});
        auto terminal = openTerminal("0001", "999");
        QTRY_VERIFY(!terminal->isVisible());
        QVERIFY2(script.faults().isEmpty(), qPrintable(script.faults().join(" | ")));
        QCOMPARE(messages, QStringList{"Caixa não cadastrado."});
        QVERIFY(!m_stage->shell.isVisible());
        QVERIFY(terminal->isFirstActivationPending());
    }

    void consumerEntry_data() {
        QTest::addColumn<QString>("registerCode");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("consumer");  // empty: not registered
        QTest::addColumn<QStringList>("screens");
        const QStringList notRegistered{"TfrmMensagem"};
        dataRow("badge track cut to characters 5-12", "002", AnasTrack, "1001",
                QStringList{"TfrmExtratoDetalhado"});
        dataRow("short code sent whole with flag S", "002", "123", "", notRegistered);
        dataRow("code cut short where it ends", "002", "9001000", "", notRegistered);
        dataRow("badge number typed where badges are cut", "005", "00050000", "", notRegistered);
        dataRow("consumer code with flag N, balances first", "001", "1001", "1001",
                QStringList{"TfrmMensagem", "TfrmExtratoSimplificado"});
        dataRow("badge track at a register without cut", "001", AnasTrack, "", notRegistered);
    }

    void consumerEntry() {
        QFETCH(QString, registerCode);
        QFETCH(QString, typed);
        QFETCH(QString, consumer);
        QFETCH(QStringList, screens);
        auto terminal = openTerminal("0001", registerCode);
        QTRY_VERIFY(!terminal->isFirstActivationPending());
        QStringList opened;
        ModalScript script;
        for (int i = 0; i < screens.size(); ++i) {
            script.then(answerOrClose(&opened));
        }
        type(*terminal, typed);
        QTest::keyClick(terminal.get(), Qt::Key_Return);
        QVERIFY2(script.faults().isEmpty(), qPrintable(script.faults().join(" | ")));
        QCOMPARE(opened, screens);
        if (!consumer.isEmpty()) {
            QCOMPARE(TerminalContext::current().CDCONSUMIDOR, consumer);
            QCOMPARE(TerminalContext::current().typedCode, typed);  // the whole buffer, before any cutting
        }
        QCOMPARE(bufferOf(*terminal), QString());
    }

    void statementChoice_data() {
        QTest::addColumn<QString>("statementType");
        QTest::addColumn<QString>("storeChoice");
        QTest::addColumn<QStringList>("screens");
        const QStringList list{"TfrmPesquisa"};
        dataRow("1 simplified", "1", "N", QStringList{"TfrmExtratoSimplificado"});
        dataRow("1 simplified ignores store choice", "1", "S", QStringList{"TfrmExtratoSimplificado"});
        dataRow("2 detailed", "2", "N", QStringList{"TfrmExtratoDetalhado"});
        dataRow("2 detailed after store list", "2", "S", list + QStringList{"TfrmExtratoDetalhado"});
        dataRow("3 group", "3", "N", QStringList{"TfrmExtratoGrupo"});
        dataRow("3 group after store list", "3", "S", list + QStringList{"TfrmExtratoGrupo"});
        dataRow("empty is group", "", "N", QStringList{"TfrmExtratoGrupo"});
        dataRow("x is group", "x", "N", QStringList{"TfrmExtratoGrupo"});
        dataRow("lower-case s offers no list", "3", "s", QStringList{"TfrmExtratoGrupo"});
    }

    void statementChoice() {
        QFETCH(QString, statementType);
        QFETCH(QString, storeChoice);
        QFETCH(QStringList, screens);
        auto terminal = openTerminal("0001", "005");
        QTRY_VERIFY(!terminal->isFirstActivationPending());
        TerminalContext::current().IDTIPEXTTOT = statementType;
        TerminalContext::current().IDSELLOJTOT = storeChoice;
        TerminalContext::current().IDEXIMSGSAL = "N";
        TerminalContext::current().IDINFCLIECAI = false;
        QStringList opened;
        ModalScript script;
        for (const QString& screen : screens) {
            if (screen == "TfrmPesquisa") {
                script.then([&](QDialog& list) {
                    opened.append(className(list));
                    QTest::keyClick(&list, Qt::Key_Return);
                });
            } else {
                script.then(closeAndRecord(&opened));
            }
        }
        type(*terminal, "1001");
        QTest::keyClick(terminal.get(), Qt::Key_Return);
        QVERIFY2(script.faults().isEmpty(), qPrintable(script.faults().join(" | ")));
        QCOMPARE(opened, screens);
        QCOMPARE(bufferOf(*terminal), QString());
    }

    void storeListWithoutRowsOpensGroupWithoutStore() {
        auto terminal = openTerminal("0001", "004");
        QTRY_VERIFY(!terminal->isFirstActivationPending());
        TerminalContext::current().IDEXIMSGSAL = "N";
        QString storeLine = "not shown";
        QStringList opened;
        ModalScript script({[&](QDialog& group) {
            opened.append(className(group));
            storeLine = childOf<QLabel>(group, "lblLoja").text();
            group.close();
        }});
        type(*terminal, "1002");  // Bruno bought nothing
        QTest::keyClick(terminal.get(), Qt::Key_Return);
        QVERIFY2(script.faults().isEmpty(), qPrintable(script.faults().join(" | ")));
        QCOMPARE(opened, QStringList{"TfrmExtratoGrupo"});
        QCOMPARE(storeLine, QString());
    }

    void serverRowTIsReplacedByTodas() {
        auto terminal = openTerminal("0001", "004");
        QTRY_VERIFY(!terminal->isFirstActivationPending());
        TerminalContext::current().IDEXIMSGSAL = "N";
        QStringList stores;
        QString storeLine;
        ModalScript script({[&](QDialog& list) {
                                auto& lojas = childOf<TClientDataSet>(*terminal, "cdsLoja");
                                for (lojas.First(); !lojas.Eof(); lojas.Next()) {
                                    stores.append(lojas.FieldByName("CDLOJA").asString() + "=" +
                                                  lojas.FieldByName("NMLOJA").asString());
                                }
                                QVERIFY(lojas.Locate("CDLOJA", "T"));
                                QTest::keyClick(&list, Qt::Key_Return);
                            },
                            [&](QDialog& group) {
                                storeLine = childOf<QLabel>(group, "lblLoja").text();
                                group.close();
                            }});
        type(*terminal, "1001");
        QTest::keyClick(terminal.get(), Qt::Key_Return);
        QVERIFY2(script.faults().isEmpty(), qPrintable(script.faults().join(" | ")));
        QCOMPARE(stores.count("T=TODAS"), 1);
        QVERIFY(!stores.join(",").contains("Loja de Conveniência"));
        QCOMPARE(stores.size(), 4);
        QCOMPARE(storeLine, QStringLiteral("Loja  T  TODAS"));
    }

    // A consumer who narrowed the list by typing leaves nothing behind: the next one's list is whole, with
    // "TODAS", and its search box empty.
    void nextConsumerSeesTheWholeStoreList() {
        auto terminal = openTerminal("0001", "004");
        QTRY_VERIFY(!terminal->isFirstActivationPending());
        TerminalContext::current().IDEXIMSGSAL = "N";
        const auto storesShown = [&terminal] {
            QStringList stores;
            auto& lojas = childOf<TClientDataSet>(*terminal, "cdsLoja");
            for (lojas.First(); !lojas.Eof(); lojas.Next()) {
                stores.append(lojas.FieldByName("NMLOJA").asString());
            }
            return stores;
        };
        QStringList narrowed, second;
        QString searchBox = "not shown";
        ModalScript script({[&](QDialog& list) {
                                QTest::keyClicks(&list, "L");
                                narrowed = storesShown();
                                QTest::keyClick(&list, Qt::Key_Return);
                            },
                            [](QDialog& group) { group.close(); },
                            [&](QDialog& list) {
                                second = storesShown();
                                searchBox = childOf<QLineEdit>(list, "edtFiltro").text();
                                QTest::keyClick(&list, Qt::Key_Return);
                            },
                            [](QDialog& group) { group.close(); }});
        for (int consumer = 0; consumer < 2; ++consumer) {
            type(*terminal, "1001");
            QTest::keyClick(terminal.get(), Qt::Key_Return);
        }
        VERIFY_SCRIPT(script);
        QVERIFY2(!narrowed.contains("TODAS") && !narrowed.isEmpty(), qPrintable(narrowed.join(",")));
        QVERIFY2(second.contains("TODAS") && second.size() > narrowed.size(), qPrintable(second.join(",")));
        QCOMPARE(searchBox, QString());
    }

    void storeListClosedWithoutPickOpensNothing() {
        auto terminal = openTerminal("0001", "004");
        QTRY_VERIFY(!terminal->isFirstActivationPending());
        TerminalContext::current().IDEXIMSGSAL = "N";
        ModalScript script({[](QDialog& list) { QTest::keyClick(&list, Qt::Key_Escape); }});
        type(*terminal, "1001");
        QTest::keyClick(terminal.get(), Qt::Key_Return);
        QVERIFY2(script.faults().isEmpty(), qPrintable(script.faults().join(" | ")));
        QCOMPARE(script.shown().size(), 1);
        QCOMPARE(bufferOf(*terminal), QString());
    }

    void balanceMessage() {
        auto terminal = openTerminal("0001", "001");
        QTRY_VERIFY(!terminal->isFirstActivationPending());
        QStringList messages;
        QStringList opened;
        ModalScript script({answerMessage(&messages), closeAndRecord(&opened)});
        type(*terminal, "1001");
        QTest::keyClick(terminal.get(), Qt::Key_Return);
        QVERIFY2(script.faults().isEmpty(), qPrintable(script.faults().join(" | ")));
        QCOMPARE(messages.size(), 1);
        const QStringList lines = messages[0].split(QRegularExpression("[\r\n]+"));
        QCOMPARE(lines, (QStringList{"Consumidor : Ana Paula Ribeiro", "Pessoal : R$ 303,80",
                                     "Empresa : R$ 283,75", "Saldo Total : R$ 587,55"}));
        QCOMPARE(opened, QStringList{"TfrmExtratoSimplificado"});  // the statement follows the message
    }

    void emptyBufferIsRefused() {
        auto terminal = openTerminal("0001", "001");
        QTRY_VERIFY(!terminal->isFirstActivationPending());
        QStringList messages;
        ModalScript script({answerMessage(&messages)});
        QTest::mouseClick(&childOf<QAbstractButton>(*terminal, "sbtEnter"), Qt::LeftButton);
        QCOMPARE(messages, QStringList{"Consumidor deve ser informado."});
    }

    void serverDownKeepsBufferAndRecovers() {
        auto terminal = openTerminal("0001", "006");  // badges cut, simplified statement, no balances
        QTRY_VERIFY(!terminal->isFirstActivationPending());
        QString reported;
        ModalScript script({recordReport(&reported)});
        m_server.reset();
        type(*terminal, AnasTrack);
        QTest::keyClick(terminal.get(), Qt::Key_Return);
        QVERIFY2(script.faults().isEmpty(), qPrintable(script.faults().join(" | ")));
        QVERIFY(!reported.isEmpty());
        QCOMPARE(bufferOf(*terminal), AnasTrack);

        startServer();  // the server is back (on a new port, which the operator sets)
        m_stage->pointAt(m_server->port());
        QStringList opened;
        script.then(closeAndRecord(&opened));
        QTest::keyClick(terminal.get(), Qt::Key_Return);
        QVERIFY2(script.faults().isEmpty(),
                 qPrintable(script.faults().join(" | ") + " / " + script.shown().join(",")));
        QCOMPARE(opened, QStringList{"TfrmExtratoSimplificado"});
    }

    void altF4EndsProgramCtrlF4DoesNothing_data() {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("ends");
        dataRow("Alt+F4", int(Qt::AltModifier), true);
        dataRow("Ctrl+F4", int(Qt::ControlModifier), false);
    }

    void altF4EndsProgramCtrlF4DoesNothing() {
        QFETCH(int, modifiers);
        QFETCH(bool, ends);
        auto terminal = openTerminal("0001", "001");
        QTRY_VERIFY(!terminal->isFirstActivationPending());
        QTest::keyClick(terminal.get(), Qt::Key_F4, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(!terminal->isVisible(), ends);
        QCOMPARE(!m_stage->shell.isVisible(), ends);
    }

    void clockSwitchesScrollingMessage() {
        auto terminal = openTerminal("0001", "001");
        QTRY_VERIFY(!terminal->isFirstActivationPending());
        TerminalContext::current().DSMSGINITOT = "Bom apetite";
        terminal->timDataHoraTimer();
        QVERIFY(terminal->idleStrip().messageTimer().isActive());
        QCOMPARE(terminal->idleStrip().messageTimer().interval(), 50);
        QCOMPARE(childOf<QLabel>(*terminal, "lblStatus1").text(), QStringLiteral("15/05/2024 10:30:00"));
        terminal->idleStrip().timMessageTimer();
        QCOMPARE(terminal->idleStrip().scrollingLabels().size(), size_t(1));
        const QLabel* first = terminal->idleStrip().scrollingLabels().front();
        QCOMPARE(first->x() + first->width(), 537);  // a short message starts right-aligned in the strip
        terminal->idleStrip().timMessageTimer();
        QCOMPARE(terminal->idleStrip().scrollingLabels().size(),
                 size_t(2));  // its right edge is below 600 at once
        QCOMPARE(terminal->idleStrip().scrollingLabels().back()->x(), 782);

        TerminalContext::current().DSMSGINITOT.clear();
        terminal->timDataHoraTimer();
        QVERIFY(!terminal->idleStrip().messageTimer().isActive());
        QVERIFY(terminal->idleStrip().scrollingLabels().empty());
    }

    void stillMessageIsCentred() {
        auto terminal = openTerminal("0001", "001");
        QTRY_VERIFY(!terminal->isFirstActivationPending());
        TerminalContext::current().DSMSGINITOT = "_Bem-vindo";
        terminal->timDataHoraTimer();
        terminal->idleStrip().timMessageTimer();
        terminal->idleStrip().timMessageTimer();
        QCOMPARE(terminal->idleStrip().scrollingLabels().size(), size_t(1));
        const QLabel* label = terminal->idleStrip().scrollingLabels().front();
        QCOMPARE(label->text(), QStringLiteral("Bem-vindo"));
        QCOMPARE(label->geometry().left(), 0);
        QCOMPARE(label->width(), 537);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(103, 0, 152));
    }

    void pictureCoversStripFromNextActivation() {
        const QString picture = m_stage->env.root() + "/fundo.png";
        QImage(40, 20, QImage::Format_RGB32).save(picture);
        auto terminal = openTerminal("0001", "001");
        QTRY_VERIFY(!terminal->isFirstActivationPending());
        auto& panel = childOf<QWidget>(*terminal, "panImgMessage");
        QVERIFY(!panel.isVisible());
        TerminalContext::current().DSFUNDOTELA = picture;
        ModalScript script({[](QDialog& message) { message.close(); }});
        QTest::keyClick(terminal.get(),
                        Qt::Key_Return);  // a message over the terminal, then activation returns
        QTRY_VERIFY(panel.isVisible());
        TerminalContext::current().DSFUNDOTELA = m_stage->env.root() + "/missing.png";
        script.then([](QDialog& message) { message.close(); });
        QTest::keyClick(terminal.get(), Qt::Key_Return);
        QTRY_VERIFY(!panel.isVisible());
    }

private:
    void startServer() {
        m_server = std::make_unique<ServerProcess>(QStringList{"--database", m_dir.filePath("demo.db")});
        QVERIFY2(m_server->failure().isEmpty(), qPrintable(m_server->failure()));
    }
    void type(TfrmTerminalConsu& terminal, const QString& text) { QTest::keyClicks(&terminal, text); }

    QTemporaryDir m_dir;
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<TerminalStage> m_stage;
};

QTEST_MAIN(TestTerminal)
#include "tst_terminal.moc"

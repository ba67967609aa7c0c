#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "TerminalSteps.h"
#include "server/ClientDataSet.h"
#include "support/Rows.h"
#include "support/ServerProcess.h"
#include "terminal/IdleStrip.h"

class TestTerminal : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        const QString failure = ServerProcess::createDemo(m_dir.filePath("demo.db"), DemoToday);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        m_server = std::make_unique<ServerProcess>(QStringList{"--database", m_dir.filePath("demo.db")});
        QVERIFY2(m_server->failure().isEmpty(), qPrintable(m_server->failure()));
    }

    void init() {
        m_stage = std::make_unique<TerminalStage>(DemoToday, m_server->port());
        QVERIFY(m_stage->shellActive);
    }

    void cleanup() { m_stage.reset(); }

    // One consultation sent with the keypad's Enter: the screens that open in order (a message answered, the
    // store list left on its current row, a statement closed), the messages' texts and the consumer found.
    // `parameters` puts a statement type and a store choice over the register's, without balances or cutting.
    void consultation_data() {
        QTest::addColumn<QString>("registerCode");
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("screens");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("consumer");  // empty: none found
        const QStringList message{"TfrmMensagem"}, list{"TfrmPesquisa"}, none;
        const QStringList notFound{"Consumidor não cadastrado."};
        const QStringList simplified{"TfrmExtratoSimplificado"}, detailed{"TfrmExtratoDetalhado"};
        const QStringList group{"TfrmExtratoGrupo"};
        dataRow("badge track cut to characters 5-12", "002", "", AnasTrack, detailed, none, "1001");
        dataRow("short code sent whole with flag S", "002", "", "123", message, notFound, "");
        dataRow("code cut short where it ends", "002", "", "9001000", message, notFound, "");
        dataRow("badge track at a register without cut", "001", "", AnasTrack, message, notFound, "");
        dataRow("consumer code with flag N, balances first", "001", "", "1001", message + simplified,
                QStringList{"Consumidor : Ana Paula Ribeiro\nPessoal : R$ 303,80\nEmpresa : R$ 283,75\n"
                            "Saldo Total : R$ 587,55"},
                "1001");
        dataRow("empty buffer is refused", "001", "", "", message,
                QStringList{"Consumidor deve ser informado."}, "");
        dataRow("1 simplified", "005", "1N", "1001", simplified, none, "1001");
        dataRow("1 simplified ignores store choice", "005", "1S", "1001", simplified, none, "1001");
        dataRow("2 detailed", "005", "2N", "1001", detailed, none, "1001");
        dataRow("2 detailed after store list", "005", "2S", "1001", list + detailed, none, "1001");
        dataRow("3 group", "005", "3N", "1001", group, none, "1001");
        dataRow("3 group after store list", "005", "3S", "1001", list + group, none, "1001");
        dataRow("lower-case s offers no list", "005", "3s", "1001", group, none, "1001");
    }

    void consultation() {
        QFETCH(QString, registerCode);
        QFETCH(QString, parameters);
        QFETCH(QString, typed);
        QFETCH(QStringList, screens);
        QFETCH(QString, consumer);
        auto terminal = openTerminal(*m_stage, "0001", registerCode);
        TerminalContext& context = m_stage->context;
        if (!parameters.isEmpty()) {
            context.IDTIPEXTTOT = parameters.left(1);
            context.IDSELLOJTOT = parameters.mid(1);
            context.IDEXIMSGSAL = "N";
            context.IDINFCLIECAI = false;
        }
        QStringList opened, texts;
        ModalScript script;
        for (qsizetype i = 0; i < screens.size(); ++i) {
            script.then(answerOrClose(&opened, &texts));
        }
        QTest::keyClicks(terminal.get(), typed);
        press(*terminal, "sbtEnter");
        VERIFY_SCRIPT(script);
        QCOMPARE(opened, screens);
        QTEST(texts, "messages");
        QCOMPARE(context.CDCONSUMIDOR, consumer);
        QCOMPARE(context.typedCode, consumer.isEmpty() ? QString() : typed);  // the buffer, before cutting
        QCOMPARE(bufferOf(*terminal), QString());
    }

    // Which part of a badge's track is sent, by the register's flag and the branch's positions: only a flag
    // set with both positions in order and a track that reaches the first one cuts. Ana's badge is 00010001.
    void badgeCutting_data() {
        QTest::addColumn<bool>("cuts");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("consumer");  // empty: none found
        dataRow("cut from the first character", true, 1, 8, "00010001999", "1001");
        dataRow("flag off: the code is sent whole", false, 1, 2, "1001", "1001");
        dataRow("no first position: sent whole", true, 0, 4, "00010001", "1001");
        dataRow("no positions: sent whole", true, 0, 0, "00010001", "1001");
        dataRow("positions out of order: sent whole", true, 8, 5, "00010001", "1001");
        dataRow("track ending on the first position is cut", true, 8, 12, "00010001", "");
        dataRow("track ending before it: sent whole", true, 9, 12, "00010001", "1001");
        dataRow("a single character", true, 1, 1, "00010001", "");
    }

    void badgeCutting() {
        QFETCH(bool, cuts);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(QString, typed);
        auto terminal = openTerminal(*m_stage, "0001", "005");
        TerminalContext& context = m_stage->context;
        context.IDINFCLIECAI = cuts;
        context.NRPOSINICONS = first;
        context.NRPOSFINCONS = last;
        context.IDEXIMSGSAL = "N";
        context.IDTIPEXTTOT = "1";
        QStringList opened;
        ModalScript script({answerOrClose(&opened)});
        consult(*terminal, typed);
        VERIFY_SCRIPT(script);
        QTEST(context.CDCONSUMIDOR, "consumer");
    }

    // Consumer after consumer at a register that offers the store list: the list holds the consumer's stores
    // with the server's "T" row replaced by one "TODAS", and is whole again after a consumer narrowed it; the
    // group statement names the store picked; a list left opens nothing; a consumer who bought nothing gets
    // no list and a statement of no store.
    void storeListAcrossConsumers() {
        auto terminal = openTerminal(*m_stage, "0001", "004");
        m_stage->context.IDEXIMSGSAL = "N";
        const auto storesShown = [](QDialog& list) {  // the names, as the list's grid shows them
            return modelColumn(*childOf<QTableView>(list, "dbgPesquisa").model(), 1);
        };
        QStringList narrowed, whole, storeLines;
        QString searchBox = "not shown";
        const auto recordStoreLine = [&storeLines](QDialog& group) {
            storeLines.append(childOf<QLabel>(group, "lblLoja").text());
            group.close();
        };
        ModalScript script({[&](QDialog& list) {
                                QTest::keyClicks(&list, "L");
                                narrowed = storesShown(list);
                                QTest::keyClick(&list, Qt::Key_Return);
                            },
                            [](QDialog& group) { group.close(); },
                            [&](QDialog& list) {
                                whole = storesShown(list);
                                searchBox = childOf<QLineEdit>(list, "edtFiltro").text();
                                childOf<TClientDataSet>(*terminal, "cdsLoja").Locate("CDLOJA", "T");
                                QTest::keyClick(&list, Qt::Key_Return);
                            },
                            recordStoreLine, [](QDialog& list) { QTest::keyClick(&list, Qt::Key_Escape); },
                            recordStoreLine});
        for (const char* consumer : {"1001", "1001", "1001", "1002"}) {  // Bruno bought nothing
            consult(*terminal, consumer);
            QCOMPARE(bufferOf(*terminal), QString());
        }
        VERIFY_SCRIPT(script);
        QVERIFY2(!narrowed.contains("TODAS") && !narrowed.isEmpty(), qPrintable(narrowed.join(",")));
        QCOMPARE(whole.size(), 4);
        QCOMPARE(whole.count("TODAS"), 1);
        QVERIFY(!whole.join(",").contains("Loja de Conveniência"));
        QCOMPARE(searchBox, QString());
        QCOMPARE(storeLines, (QStringList{"Loja  T  TODAS", ""}));
    }

    void altF4EndsTheProgram_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("ends");
        dataRow("Alt+F4", int(Qt::Key_F4), int(Qt::AltModifier), true);
        dataRow("Ctrl+F4", int(Qt::Key_F4), int(Qt::ControlModifier), false);
        dataRow("Alt+F5", int(Qt::Key_F5), int(Qt::AltModifier), false);
    }

    void altF4EndsTheProgram() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, ends);
        auto terminal = openTerminal(*m_stage, "0001", "001");
        QTest::keyClick(terminal.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(!terminal->isVisible(), ends);
        QCOMPARE(!m_stage->shell.isVisible(), ends);
    }

    // The status line shows the server and the version; the clock's tick shows the time and starts the
    // register's message in the idle strip, or stops it. A message that begins with "_" stands still across
    // the strip, without its mark.
    void idleScreen() {
        auto terminal = openTerminal(*m_stage, "0001", "001");
        QCOMPARE(childOf<QLabel>(*terminal, "lblStatus2").text(), QStringLiteral("Endereço IP : 127.0.0.1"));
        QCOMPARE(childOf<QLabel>(*terminal, "lblStatus3").text(), QStringLiteral("Versão : 4.00"));
        IdleStrip& strip = terminal->idleStrip();
        m_stage->context.DSMSGINITOT = "Bom apetite";
        terminal->timDataHoraTimer();
        QCOMPARE(childOf<QLabel>(*terminal, "lblStatus1").text(), QStringLiteral("15/05/2024 10:30:00"));
        QVERIFY(strip.messageTimer().isActive());
        strip.timMessageTimer();
        strip.timMessageTimer();
        QCOMPARE(strip.scrollingLabels().size(), size_t(2));  // a short message is followed at once
        QCOMPARE(strip.scrollingLabels().front()->text(), QStringLiteral("Bom apetite"));

        m_stage->context.DSMSGINITOT.clear();
        terminal->timDataHoraTimer();
        QVERIFY(!strip.messageTimer().isActive());
        QVERIFY(strip.scrollingLabels().empty());

        m_stage->context.DSMSGINITOT = "_Bem-vindo";
        terminal->timDataHoraTimer();
        strip.timMessageTimer();
        strip.timMessageTimer();
        QCOMPARE(strip.scrollingLabels().size(), size_t(1));
        const QLabel* still = strip.scrollingLabels().front();
        QCOMPARE(still->text(), QStringLiteral("Bem-vindo"));
        QCOMPARE(still->geometry(), QRect(0, still->y(), strip.width(), still->height()));
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<TerminalStage> m_stage;
};

QTEST_MAIN(TestTerminal)
#include "tst_terminal.moc"

#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTextEdit>

#include "dialogs/TfrmMensagem.h"
#include "kit/Buttons.h"
#include "kit/Colors.h"
#include "kit/Shapes.h"
#include "kit/core/Errors.h"
#include "support/ModalScript.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"
#include "support/Widgets.h"

#include <optional>

namespace {

struct Message {
    QString text = QStringLiteral("Consumidor não cadastrado.");
    QString details = {};
    QString detailsFlag = QStringLiteral("N");
    QString questionFlag = QStringLiteral("N");
    quint8 kind = 3;
    QString extraCaption = {};
    QString schemeCode = QStringLiteral("002");
};

bool show(const Message& m) {
    return ShowMessageForm(m.text, m.details, m.detailsFlag, m.questionFlag, m.kind, m.extraCaption,
                           m.schemeCode);
}

QImage picture(QDialog& form, const char* name) {
    return childOf<QLabel>(form, name).pixmap().toImage();
}
bool shown(QDialog& form, const char* name) {
    return childOf<QWidget>(form, name).isVisibleTo(&form);
}

// Presses the button so named, or types the key so named where the keyboard sends it: to the focused control.
void act(QDialog& form, const QString& action) {
    if (action.startsWith(u"tcb")) {
        press(form, qPrintable(action));
    } else {
        QTest::keyClick(form.focusWidget() != nullptr ? form.focusWidget() : &form,
                        QKeySequence(action)[0].key());
    }
}

// What the consumer sees of the form.
struct Seen {
    QString label;
    bool ok = false, sim = false, nao = false, detalhes = false, extra = false;
    int height = 0;
    QString memo;
    QImage icon;
};

Seen look(QDialog& form) {
    return {childOf<QLabel>(form, "lblMessage").text(),
            shown(form, "tcbOk"),
            shown(form, "tcbSim"),
            shown(form, "tcbNao"),
            shown(form, "tcbDetalhes"),
            shown(form, "tcbExtra") && childOf<QWidget>(form, "tcbExtra").isEnabled(),
            form.height(),
            childOf<QTextEdit>(form, "redDetalhes").toPlainText(),
            picture(form, "imgTpMsg")};
}

}  // namespace

class TestMessageForm : public QObject {
    Q_OBJECT
    std::optional<TestEnvironment> m_env;

private slots:
    void init() { m_env.emplace(); }
    void cleanup() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // closed forms go now
        m_env.reset();
    }

    void answers_data() {
        QTest::addColumn<QString>("questionFlag");
        QTest::addColumn<QString>("extraCaption");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("answer");  // after "Ok" or "Não" when the action left the form open
        dataRow("question, Enter", "S", "", "Return", true, true);
        dataRow("question, Left", "S", "", "Left", true, true);
        dataRow("question, Right", "S", "", "Right", true, false);
        dataRow("question, Sim", "S", "", "tcbSim", true, true);
        dataRow("question, Não", "S", "", "tcbNao", true, false);
        dataRow("question, Escape", "S", "", "Esc", false, false);
        dataRow("notice, Enter", "N", "", "Return", true, true);
        dataRow("notice, Ok", "N", "", "tcbOk", true, true);
        dataRow("notice, Left", "N", "", "Left", false, true);
        dataRow("notice, Right", "N", "", "Right", false, true);
        dataRow("lower-case s is a notice", "s", "", "Return", true, true);
        dataRow("extra button", "N", "Outra loja", "tcbExtra", true, false);
    }

    void answers() {
        QFETCH(QString, questionFlag);
        QFETCH(QString, extraCaption);
        QFETCH(QString, action);
        Seen seen;
        QString extraText;
        bool closed = false;
        QPointer<QDialog> shownForm;
        ModalScript script({[&](QDialog& form) {
            shownForm = &form;
            seen = look(form);
            extraText = childOf<TBlendedBitBtn>(form, "tcbExtra").Caption();
            act(form, action);
            closed = !form.isVisible();
            if (!closed) {
                press(form, seen.ok ? "tcbOk" : "tcbNao");
            }
        }});
        QTEST(show({.questionFlag = questionFlag, .extraCaption = extraCaption}), "answer");
        VERIFY_SCRIPT(script);
        QTEST(closed, "closes");
        const bool question = questionFlag == "S";
        QCOMPARE(seen.ok, !question);
        QCOMPARE(seen.sim, question);
        QCOMPARE(seen.nao, question);
        QCOMPARE(seen.extra, !extraCaption.isEmpty());
        QCOMPARE(extraText, extraCaption.isEmpty() ? "Extra" : extraCaption);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(shownForm.isNull());  // a closed form releases itself
    }

    void errorMarker_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("details");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("memo");
        dataRow("split at the marker", "Falha ao gravar.  Erro: UNIQUE failed", "outros",
                "Falha ao gravar.  ", "UNIQUE failed");
        dataRow("text begins with the marker", "Erro: sem dados", "", "", "sem dados");
        dataRow("any separator is skipped", "AErro:\tB", "", "A", "B");
        dataRow("the first marker counts", "A Erro: B Erro: C", "", "A ", "B Erro: C");
        dataRow("marker is case-sensitive", "Falha ERRO: x", "pilha", "Falha ERRO: x", "pilha");
        dataRow("no marker, line breaks", "Linha 1\rLinha 2", "d1\rd2", "Linha 1\nLinha 2", "d1\nd2");
    }

    void errorMarker() {
        QFETCH(QString, text);
        QFETCH(QString, details);
        QFETCH(QString, memo);
        Seen before, expanded, collapsed;
        ModalScript script({[&](QDialog& form) {
            before = look(form);
            press(form, "tcbDetalhes");
            expanded = look(form);
            press(form, "tcbDetalhes");
            collapsed = look(form);
            press(form, "tcbOk");
        }});
        show({.text = text, .details = details, .detailsFlag = "S"});
        VERIFY_SCRIPT(script);
        QTEST(before.label, "label");
        QVERIFY(before.detalhes);
        QCOMPARE(before.height, 234);
        QCOMPARE(expanded.height, 348);
        QCOMPARE(expanded.memo, memo);
        QCOMPARE(collapsed.height, 234);
        QCOMPARE(collapsed.memo, QString());
    }

    // The scheme is known by its background: empty is grey, a code not in the table keeps the last colours.
    void schemes_data() {
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<quint32>("background");
        dataRow("empty is grey", "004", "", 0xB3B0AEu);
        dataRow("003 blue", "002", "003", 0xD9B0B0u);
        dataRow("unknown keeps green", "004", "999", 0x4DB361u);
        dataRow("padded code is unknown", "003", " 002", 0xD9B0B0u);
    }

    void schemes() {
        QFETCH(QString, previous);
        QFETCH(QString, scheme);
        QFETCH(quint32, background);
        QColor painted;
        ModalScript script({[](QDialog& form) { press(form, "tcbOk"); },
                            [&](QDialog& form) {
                                painted = childOf<TBlendedShape>(form, "blsFundo").brushColor();
                                press(form, "tcbOk");
                            }});
        show({.schemeCode = previous});
        show({.schemeCode = scheme});
        VERIFY_SCRIPT(script);
        QCOMPARE(painted, fromBgr(background));
    }

    void icons_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("icon");
        dataRow("0 information", 0, "imgInformacao");
        dataRow("3 error", 3, "imgErro");
        dataRow("5 none", 5, "");
    }

    // The icon follows the kind; only an error box tells the kiosk's heartbeat its text (a message may hold a
    // consumer's name and balances).
    void icons() {
        QFETCH(int, kind);
        QFETCH(QString, icon);
        QImage seen, expected;
        QString reported;
        ModalScript script({[](QDialog& form) { press(form, "tcbOk"); },
                            [&](QDialog& form) {
                                seen = look(form).icon;
                                expected = icon.isEmpty() ? QImage() : picture(form, qPrintable(icon));
                                reported = form.property(ErrorTextProperty).toString();
                                press(form, "tcbOk");
                            }});
        show({.kind = 3});  // the form before had an icon and an error; the new one must not inherit them
        show({.text = "Saldo Total : 12,50 Erro: detalhe", .kind = static_cast<quint8>(kind)});
        VERIFY_SCRIPT(script);
        QCOMPARE(seen, expected);
        QCOMPARE(reported, kind == 3 ? QStringLiteral("Saldo Total : 12,50") : QString());
    }

    void acceptedResults_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("checkText");
        QTest::addColumn<int>("validLength");
        const QVariantMap packet{{"fields", QVariantList{}}, {"rows", QVariantList{}}};
        dataRow("packet", QVariant(packet), true, 0);
        dataRow("empty text", QVariant(QString()), true, 0);
        dataRow("blank text", QVariant("  \t "), true, 0);
        dataRow("text of the valid length", QVariant("00012345"), true, 8);
        dataRow("text not checked", QVariant("Tabela inexistente"), false, 0);
    }

    void acceptedResults() {
        QFETCH(QVariant, value);
        QFETCH(bool, checkText);
        QFETCH(int, validLength);
        ModalScript script;  // a form shown would be a fault: there is no step for it
        QVariant result("antes");
        CheckServerResult(value, checkText, validLength, "getProdutos", "Cli_Qvr00200", "0001-002", "002",
                          result);
        QCOMPARE(result, value);
        QCOMPARE(script.shown(), QStringList());
    }

    // A failed method's text is reported under the hourglass, with the call behind "Detalhes", and the
    // caller's work ends without a word more.
    void serverErrorReported() {
        Seen seen;
        QString expanded;
        bool errorIcon = false, hourglass = false;
        ModalScript script({[&](QDialog& form) {
            seen = look(form);
            errorIcon = seen.icon == picture(form, "imgErro");
            hourglass = QGuiApplication::overrideCursor() != nullptr &&
                        QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
            press(form, "tcbDetalhes");
            expanded = look(form).memo;
            press(form, "tcbOk");
        }});
        QVariant result("antes");
        const QString text = QStringLiteral("Tabela PRODUTO inexistente");
        QVERIFY_THROWS_EXCEPTION(SilentAbort, CheckServerResult(text, true, 0, "getProdutos", "Cli_Qvr00200",
                                                                "0001-002-15/05/2024", "002", result));
        VERIFY_SCRIPT(script);
        QCOMPARE(result, QVariant("antes"));
        QCOMPARE(seen.label, "Ocorreu o seguinte erro no sistema:\n" + text);
        QVERIFY(seen.ok && seen.detalhes && !seen.sim && !seen.nao && !seen.extra);
        QVERIFY(errorIcon);
        QCOMPARE(expanded,
                 "Programa: Cli_Qvr00200\nMétodo: getProdutos\nParâmetros: 0001-002-15/05/2024\n"
                 "Data/Hora: 15/05/2024 10:30:00");
        QVERIFY(hourglass);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }
};

QTEST_MAIN(TestMessageForm)
#include "tst_messageform.moc"

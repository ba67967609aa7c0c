#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTextEdit>

#include "dialogs/TfrmMensagem.h"
#include "kit/Buttons.h"
#include "kit/Colors.h"
#include "kit/Modal.h"
#include "kit/Shapes.h"
#include "kit/core/Errors.h"
#include "kit/core/Messages.h"
#include "support/TestEnvironment.h"

#include <optional>
#include <stdexcept>

#define VERIFY_SCRIPT(script) QVERIFY2((script).faults().isEmpty(), qPrintable((script).faults().join(u'\n')))

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

// A part of the form by name; a missing one fails the script step that asked for it.
template <typename T = QWidget>
T& part(QObject& form, const char* name) {
    if (T* found = form.findChild<T*>(QLatin1String(name))) {
        return *found;
    }
    throw std::runtime_error(std::string("no ") + name);
}

bool shown(QDialog& form, const char* name) {
    return part(form, name).isVisibleTo(&form);
}
void press(QDialog& form, const char* name) {
    QTest::mouseClick(&part(form, name), Qt::LeftButton);
}
// As the keyboard delivers it: to the control that has the focus, else to the form.
void type(QDialog& form, int key) {
    QTest::keyClick(form.focusWidget() != nullptr ? form.focusWidget() : &form, Qt::Key(key));
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
    return {part<QLabel>(form, "lblMessage").text(),
            shown(form, "tcbOk"),
            shown(form, "tcbSim"),
            shown(form, "tcbNao"),
            shown(form, "tcbDetalhes"),
            shown(form, "tcbExtra") && part(form, "tcbExtra").isEnabled(),
            form.height(),
            part<QTextEdit>(form, "redDetalhes").toPlainText(),
            part<QLabel>(form, "imgTpMsg").pixmap().toImage()};
}

QImage picture(QDialog& form, const char* name) {
    return part<QLabel>(form, name).pixmap().toImage();
}

}  // namespace

class TestMessageForm : public QObject {
    Q_OBJECT
private slots:
    void init() { m_env.emplace(); }
    void cleanup();
    void layout_data();
    void layout();
    void messageTable();
    void answers_data();
    void answers();
    void keysThatDoNothing_data();
    void keysThatDoNothing();
    void errorMarker_data();
    void errorMarker();
    void detailsTwiceCollapses();
    void schemes_data();
    void schemes();
    void icons_data();
    void icons();
    void hourglassWhileShownAndFreshFormEachTime();
    void acceptedResults_data();
    void acceptedResults();
    void serverErrorReported_data();
    void serverErrorReported();

private:
    std::optional<TestEnvironment> m_env;
};

void TestMessageForm::cleanup() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // closed forms go now
    m_env.reset();
}

void TestMessageForm::layout_data() {
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("caption");
    QTest::newRow("blsFundo") << QRect(0, 0, 639, 233) << "";
    QTest::newRow("blsBorda") << QRect(9, 8, 623, 215) << "";
    QTest::newRow("lblMessage") << QRect(52, 45, 571, 117) << "";
    for (const char* icon : {"imgInformacao", "imgPergunta", "imgAlerta", "imgErro"}) {
        QTest::newRow(icon) << QRect(6, 179, 36, 36) << "";
    }
    QTest::newRow("tcbSim") << QRect(163, 166, 130, 50) << "&Sim";
    QTest::newRow("tcbOk") << QRect(237, 166, 130, 50) << "&Ok";
    QTest::newRow("tcbNao") << QRect(330, 166, 130, 50) << "&Não";
    QTest::newRow("tcbDetalhes") << QRect(494, 166, 130, 50) << "&Detalhes";
    QTest::newRow("imgTpMsg") << QRect(13, 13, 36, 36) << "";
    QTest::newRow("tcbExtra") << QRect(494, 166, 130, 50) << "Extra";
    QTest::newRow("srcDetalhes") << QRect(0, 232, 638, 115) << "";
}

void TestMessageForm::layout() {
    QFETCH(QRect, place);
    QFETCH(QString, caption);
    TfrmMensagem form;
    QCOMPARE(form.size(), QSize(639, 233));
    const QWidget& widget = part(form, QTest::currentDataTag());
    QCOMPARE(widget.geometry(), place);
    if (const auto* button = qobject_cast<const TBlendedBitBtn*>(&widget)) {
        QCOMPARE(button->Caption(), caption);
        QCOMPARE(button->font().pixelSize(), 19);
    }
}

void TestMessageForm::messageTable() {
    TfrmMensagem form;
    QCOMPARE(part<TMessages>(form, "msgPadrao").Messages(),
             QStringList({"Erro|Ocorreu o seguinte erro no sistema:", "Programa|Programa:", "Metodo|Método:",
                          "Data|Data/Hora:", "Parametros|Parâmetros:"}));
}

void TestMessageForm::answers_data() {
    QTest::addColumn<QString>("questionFlag");
    QTest::addColumn<QString>("extraCaption");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("answer");
    QTest::newRow("question, Enter") << "S"
                                     << "" << int(Qt::Key_Return) << "" << true;
    QTest::newRow("question, Left") << "S"
                                    << "" << int(Qt::Key_Left) << "" << true;
    QTest::newRow("question, Right") << "S"
                                     << "" << int(Qt::Key_Right) << "" << false;
    QTest::newRow("question, Sim") << "S"
                                   << "" << 0 << "tcbSim" << true;
    QTest::newRow("question, Não") << "S"
                                   << "" << 0 << "tcbNao" << false;
    QTest::newRow("notice, Enter") << "N"
                                   << "" << int(Qt::Key_Return) << "" << true;
    QTest::newRow("notice, Ok") << "N"
                                << "" << 0 << "tcbOk" << true;
    QTest::newRow("lower-case s is a notice") << "s"
                                              << "" << int(Qt::Key_Return) << "" << true;
    QTest::newRow("extra button") << "N"
                                  << "Outra loja" << 0 << "tcbExtra" << false;
    QTest::newRow("extra on a question") << "S"
                                         << "Outra loja" << 0 << "tcbExtra" << false;
}

void TestMessageForm::answers() {
    QFETCH(QString, questionFlag);
    QFETCH(QString, extraCaption);
    QFETCH(int, key);
    QFETCH(QString, button);
    QFETCH(bool, answer);
    Seen seen;
    QString extraText;
    ModalScript script({[&](QDialog& form) {
        seen = look(form);
        extraText = part<TBlendedBitBtn>(form, "tcbExtra").Caption();
        key != 0 ? type(form, key) : press(form, qPrintable(button));
    }});
    QCOMPARE(show({.questionFlag = questionFlag, .extraCaption = extraCaption}), answer);
    VERIFY_SCRIPT(script);
    const bool question = questionFlag == "S";
    QCOMPARE(seen.ok, !question);
    QCOMPARE(seen.sim, question);
    QCOMPARE(seen.nao, question);
    QCOMPARE(seen.extra, !extraCaption.isEmpty());
    if (seen.extra) {
        QCOMPARE(extraText, extraCaption);
    }
}

void TestMessageForm::keysThatDoNothing_data() {
    QTest::addColumn<QString>("questionFlag");
    QTest::addColumn<int>("key");
    QTest::newRow("notice, Left") << "N" << int(Qt::Key_Left);
    QTest::newRow("notice, Right") << "N" << int(Qt::Key_Right);
    QTest::newRow("notice, Escape") << "N" << int(Qt::Key_Escape);
    QTest::newRow("question, Escape") << "S" << int(Qt::Key_Escape);
    QTest::newRow("question, Space") << "S" << int(Qt::Key_Space);
}

void TestMessageForm::keysThatDoNothing() {
    QFETCH(QString, questionFlag);
    QFETCH(int, key);
    bool stayedOpen = false;
    ModalScript script({[&](QDialog& form) {
        type(form, key);
        stayedOpen = form.isVisible();
        press(form, questionFlag == "S" ? "tcbNao" : "tcbOk");
    }});
    show({.questionFlag = questionFlag});
    VERIFY_SCRIPT(script);
    QVERIFY(stayedOpen);
}

void TestMessageForm::errorMarker_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("details");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("memo");
    QTest::newRow("split at the marker") << "Falha ao gravar.  Erro: UNIQUE failed"
                                         << "outros"
                                         << "Falha ao gravar.  "
                                         << "UNIQUE failed";
    QTest::newRow("text begins with the marker") << "Erro: sem dados"
                                                 << ""
                                                 << ""
                                                 << "sem dados";
    QTest::newRow("any separator is skipped") << "AErro:\tB"
                                              << ""
                                              << "A"
                                              << "B";
    QTest::newRow("the first marker counts") << "A Erro: B Erro: C"
                                             << ""
                                             << "A "
                                             << "B Erro: C";
    QTest::newRow("marker is case-sensitive") << "Falha ERRO: x"
                                              << "pilha"
                                              << "Falha ERRO: x"
                                              << "pilha";
    QTest::newRow("no marker shows details") << "Linha 1\rLinha 2"
                                             << "d1\rd2"
                                             << "Linha 1\nLinha 2"
                                             << "d1\nd2";
}

void TestMessageForm::errorMarker() {
    QFETCH(QString, text);
    QFETCH(QString, details);
    QFETCH(QString, label);
    QFETCH(QString, memo);
    Seen before, after;
    ModalScript script({[&](QDialog& form) {
        before = look(form);
        press(form, "tcbDetalhes");
        after = look(form);
        press(form, "tcbOk");
    }});
    show({.text = text, .details = details, .detailsFlag = "S"});
    VERIFY_SCRIPT(script);
    QCOMPARE(before.label, label);
    QVERIFY(before.detalhes);
    QCOMPARE(before.height, 234);
    QCOMPARE(after.height, 348);
    QCOMPARE(after.memo, memo);
}

void TestMessageForm::detailsTwiceCollapses() {
    Seen seen;
    ModalScript script({[&](QDialog& form) {
        press(form, "tcbDetalhes");
        press(form, "tcbDetalhes");
        seen = look(form);
        press(form, "tcbOk");
    }});
    show({.details = "pilha", .detailsFlag = "S"});
    VERIFY_SCRIPT(script);
    QCOMPARE(seen.height, 234);
    QCOMPARE(seen.memo, QString());
}

void TestMessageForm::schemes_data() {
    QTest::addColumn<QString>("previous");
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QList<quint32>>("colours");  // background, panel, accent
    QTest::newRow("empty is grey") << "004"
                                   << "" << QList<quint32>{0xB3B0AE, 0xD0CFCE, 0x818181};
    QTest::newRow("001 orange") << "002"
                                << "001" << QList<quint32>{0x66C8FF, 0x93D9FF, 0x0070DF};
    QTest::newRow("003 blue") << "002"
                              << "003" << QList<quint32>{0xD9B0B0, 0xDFC4C4, 0xA65353};
    QTest::newRow("004 green") << "002"
                               << "004" << QList<quint32>{0x4DB361, 0x8BCD98, 0x007900};
    QTest::newRow("005 light green") << "002"
                                     << "005" << QList<quint32>{0xC0FAD8, 0xFFFFFF, 0x46F08E};
    QTest::newRow("unknown keeps green") << "004"
                                         << "999" << QList<quint32>{0x4DB361, 0x8BCD98, 0x007900};
    QTest::newRow("padded code is unknown") << "003"
                                            << " 002" << QList<quint32>{0xD9B0B0, 0xDFC4C4, 0xA65353};
}

void TestMessageForm::schemes() {
    QFETCH(QString, previous);
    QFETCH(QString, scheme);
    QFETCH(QList<quint32>, colours);
    QList<QColor> painted;
    ModalScript script(
        {[](QDialog& form) { press(form, "tcbOk"); },
         [&](QDialog& form) {
             painted = {part<TBlendedShape>(form, "blsFundo").brushColor(),
                        part<TBlendedShape>(form, "blsBorda").brushColor(),
                        part<TBlendedBitBtn>(form, "tcbExtra").accentColor(),
                        part<TBlendedBitBtn>(form, "tcbDetalhes").accentColor()};
             for (const char* name : {"tcbSim", "tcbOk", "tcbNao", "tcbExtra", "tcbDetalhes"}) {
                 painted.append(part<TBlendedBitBtn>(form, name).brushColor());
             }
             press(form, "tcbOk");
         }});
    show({.schemeCode = previous});
    show({.schemeCode = scheme});
    VERIFY_SCRIPT(script);
    const QColor background = fromBgr(colours[0]), accent = fromBgr(colours[2]);
    QCOMPARE(painted, QList<QColor>({background, fromBgr(colours[1]), accent, accent, background, background,
                                     background, background, background}));
}

void TestMessageForm::icons_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("icon");
    QTest::newRow("0 information") << 0 << "imgInformacao";
    QTest::newRow("1 question") << 1 << "imgPergunta";
    QTest::newRow("2 alert") << 2 << "imgAlerta";
    QTest::newRow("3 error") << 3 << "imgErro";
    QTest::newRow("5 none") << 5 << "";
    QTest::newRow("255 none") << 255 << "";
}

void TestMessageForm::icons() {
    QFETCH(int, kind);
    QFETCH(QString, icon);
    Seen seen;
    QImage expected;
    ModalScript script({[](QDialog& form) { press(form, "tcbOk"); },
                        [&](QDialog& form) {
                            seen = look(form);
                            expected = icon.isEmpty() ? QImage() : picture(form, qPrintable(icon));
                            press(form, "tcbOk");
                        }});
    show({.kind = 1});  // the form before had an icon; the new one must not inherit it
    show({.kind = static_cast<quint8>(kind)});
    VERIFY_SCRIPT(script);
    QCOMPARE(seen.icon.isNull(), icon.isEmpty());
    QCOMPARE(seen.icon, expected);
}

void TestMessageForm::hourglassWhileShownAndFreshFormEachTime() {
    Qt::CursorShape cursor = Qt::ArrowCursor;
    QPointer<QDialog> first;
    const QDialog* second = nullptr;
    ModalScript script({[&](QDialog& form) {
                            first = &form;
                            if (const QCursor* shape = QGuiApplication::overrideCursor()) {
                                cursor = shape->shape();
                            }
                            press(form, "tcbOk");
                        },
                        [&](QDialog& form) {
                            second = &form;
                            press(form, "tcbOk");
                        }});
    show({});
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    const QDialog* firstForm = first.data();  // still alive: a closed form goes once its events are done
    show({});
    VERIFY_SCRIPT(script);
    QCOMPARE(cursor, Qt::WaitCursor);
    QVERIFY(second != firstForm);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());
}

void TestMessageForm::acceptedResults_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("checkText");
    QTest::addColumn<int>("validLength");
    const QVariantMap packet{{"fields", QVariantList{}}, {"rows", QVariantList{}}};
    QTest::newRow("packet") << QVariant(packet) << true << 0;
    QTest::newRow("list of packets") << QVariant(QVariantList{packet, packet}) << true << 0;
    QTest::newRow("empty text") << QVariant(QString()) << true << 0;
    QTest::newRow("blank text") << QVariant("  \t ") << true << 0;
    QTest::newRow("text of the valid length") << QVariant("00012345") << true << 8;
    QTest::newRow("text not checked") << QVariant("Tabela inexistente") << false << 0;
}

void TestMessageForm::acceptedResults() {
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

void TestMessageForm::serverErrorReported_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("memo");
    QTest::newRow("server text")
        << "Tabela PRODUTO inexistente"
        << "Ocorreu o seguinte erro no sistema:\nTabela PRODUTO inexistente"
        << "Programa: Cli_Qvr00200\nMétodo: getProdutos\nParâmetros: 0001-002-15/05/2024\n"
           "Data/Hora: 15/05/2024 10:30:00";
    QTest::newRow("server text with the marker") << "Falha na consulta Erro: ORA-00942"
                                                 << "Ocorreu o seguinte erro no sistema:\nFalha na consulta "
                                                 << "ORA-00942";
}

void TestMessageForm::serverErrorReported() {
    QFETCH(QString, text);
    QFETCH(QString, label);
    QFETCH(QString, memo);
    Seen seen, expanded;
    bool errorIcon = false;
    ModalScript script({[&](QDialog& form) {
        seen = look(form);
        errorIcon = seen.icon == picture(form, "imgErro");
        press(form, "tcbDetalhes");
        expanded = look(form);
        press(form, "tcbOk");
    }});
    QVariant result("antes");
    bool callerWentOn = false;
    const auto call = [&] {
        CheckServerResult(text, true, 0, "getProdutos", "Cli_Qvr00200", "0001-002-15/05/2024", "002", result);
        callerWentOn = true;
    };
    QVERIFY_THROWS_EXCEPTION(SilentAbort, call());
    VERIFY_SCRIPT(script);
    QVERIFY(!callerWentOn);
    QCOMPARE(result, QVariant("antes"));
    QCOMPARE(seen.label, label);
    QVERIFY(seen.ok && seen.detalhes && !seen.sim && !seen.nao && !seen.extra);
    QVERIFY(errorIcon);
    QCOMPARE(expanded.memo, memo);
}

QTEST_MAIN(TestMessageForm)
#include "tst_messageform.moc"

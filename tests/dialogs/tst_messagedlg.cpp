#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "dialogs/TfrmMessageDlg.h"
#include "kit/Buttons.h"
#include "kit/Modal.h"
#include "support/ModalScript.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"
#include "support/Widgets.h"

#include <optional>

namespace {

// A dialog with touch buttons given as "index:caption|index:caption…", recording the names of those clicked.
struct Dialog {
    explicit Dialog(const QString& buttons, int defaultButton = 2, int cancelButton = 3) {
        int left = 10;
        for (const QString& button : buttons.split(u'|')) {
            const qsizetype colon = button.indexOf(u':');
            if (button.startsWith(u"plain:")) {  // a button of another kind, which accelerators leave alone
                auto* plain = new TBlendedButton(&form);
                plain->setCaption(button.mid(colon + 1));
                QObject::connect(plain, &QAbstractButton::clicked, plain, [this] { clicked << "plain"; });
                continue;
            }
            TTouchButton* created = form.addButton(static_cast<quint8>(button.left(colon).toInt()),
                                                   button.mid(colon + 1), {left, 170, 100, 50});
            QObject::connect(created, &QAbstractButton::clicked, created,
                             [this, created] { clicked.append(created->objectName()); });
            left += 105;
        }
        form.setDefaultButton(static_cast<quint8>(defaultButton));
        form.setCancelButton(static_cast<quint8>(cancelButton));
    }
    TfrmMessageDlg form;
    QStringList clicked;
};

}  // namespace

class TestMessageDlg : public QObject {
    Q_OBJECT
    std::optional<TestEnvironment> m_env;

private slots:
    void init() { m_env.emplace(); }
    void cleanup() { m_env.reset(); }

    void buttonNames_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        dataRow("first", 0, "Yes");
        dataRow("last", 10, "Help");
        dataRow("outside the set", 11, "");
    }
    void buttonNames() {
        QFETCH(int, index);
        QFETCH(QString, name);
        QCOMPARE(messageDlgButtonName(static_cast<quint8>(index)), name);
        if (!name.isEmpty()) {
            TfrmMessageDlg form;
            TTouchButton* button = form.addButton(static_cast<quint8>(index), "&x", {0, 0, 10, 10});
            QCOMPARE(button->objectName(), name);
            button->click();
            QCOMPARE(form.answer(), std::optional<quint8>(static_cast<quint8>(index)));
        }
    }

    void keys_data() {
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<int>("defaultButton");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("clicked");
        const QString okCancel = "2:&OK|3:&Cancelar";
        dataRow("Enter: default", okCancel, 2, int(Qt::Key_Return), "OK");
        dataRow("Escape: cancel", okCancel, 2, int(Qt::Key_Escape), "Cancel");
        dataRow("Enter: default missing", "0:&Sim|1:&Não", 2, int(Qt::Key_Return), "");
        dataRow("Escape: cancel missing", "0:&Sim", 0, int(Qt::Key_Escape), "");
        dataRow("Enter: default outside the set", okCancel, 200, int(Qt::Key_Return), "");
        dataRow("S clicks both", "0:&Sim|1:&Não|9:&Sim a todos", 2, int(Qt::Key_S), "Yes YesToAll");
        dataRow("lower-case accelerator", "0:&sim", 2, int(Qt::Key_S), "");
        dataRow("after the first ampersand", "6:I&Gnorar|5:&Repetir &G", 2, int(Qt::Key_G), "Ignore");
        dataRow("digit", "5:&1 Repetir|6:&2 Ignorar", 2, int(Qt::Key_2), "Ignore");
        dataRow("no ampersand", "2:OK", 3, int(Qt::Key_O), "");
        dataRow("ampersand last", "2:OK&", 3, int(Qt::Key_O), "");
        dataRow("key code's low byte", "0:&sim|1:&Sair", 2, int(Qt::Key_F4), "Yes");  // F4's 115 reads as "s"
        dataRow("Tab is no accelerator", "0:&\t", 2, int(Qt::Key_Tab), "");
        dataRow("only touch buttons answer", "0:&Sim|plain:&Sair", 2, int(Qt::Key_S), "Yes");
    }
    void keys() {
        QFETCH(QString, buttons);
        QFETCH(int, defaultButton);
        QFETCH(int, key);
        Dialog dialog(buttons, defaultButton);
        dialog.form.deliverKey(key, Qt::NoModifier, {});
        QTEST(dialog.clicked.join(u' '), "clicked");
    }

    void timer_data() {
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<int>("answer");  // -1: none
        dataRow("default button", "1:&Não|2:&OK", "OK", 2);
        dataRow("no default button: closes", "0:&Sim|1:&Não", "", -1);
    }
    void timer() {
        QFETCH(QString, buttons);
        QFETCH(int, answer);
        Dialog dialog(buttons, 2);
        QVERIFY(!dialog.form.timDefault().isActive());  // off until the caller starts it
        QSignalSpy fired(&dialog.form.timDefault(), &QTimer::timeout);
        ModalScript script({[&](QDialog&) {
            dialog.form.timDefault().setInterval(0);
            dialog.form.timDefault().start();
        }});
        ExecModal(dialog.form);
        VERIFY_SCRIPT(script);  // a dialog left open is a fault
        QVERIFY(!dialog.form.isVisible());
        QVERIFY(!dialog.form.timDefault().isActive());
        QCOMPARE(fired.count(), 1);
        QTEST(dialog.clicked.join(u' '), "clicked");
        QCOMPARE(dialog.form.answer(),
                 answer < 0 ? std::nullopt : std::optional<quint8>(static_cast<quint8>(answer)));
    }
};

QTEST_MAIN(TestMessageDlg)
#include "tst_messagedlg.moc"

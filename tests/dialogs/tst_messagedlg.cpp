#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "dialogs/TfrmMessageDlg.h"
#include "kit/Buttons.h"
#include "kit/Modal.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"
#include "support/Widgets.h"

#include <optional>

namespace {

// A dialog with touch buttons given as "index:caption", recording the names of the buttons clicked.
struct Dialog {
    explicit Dialog(const QStringList& buttons, int defaultButton = 2, int cancelButton = 3) {
        int left = 10;
        for (const QString& button : buttons) {
            const qsizetype colon = button.indexOf(u':');
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

    void layout() {
        const TfrmMessageDlg form;
        QCOMPARE(form.size(), QSize(639, 233));
        QVERIFY(form.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(childOf<QWidget>(form, "bvlMessage").geometry(), QRect(1, 3, 636, 226));
        const auto& label = childOf<QLabel>(form, "lblMessage");
        QCOMPARE(label.geometry(), QRect(47, 11, 570, 134));
        QVERIFY(label.wordWrap());
        QCOMPARE(label.font().pixelSize(), 21);
        for (const char* icon : {"imgMessage0", "imgMessage1", "imgMessage2", "imgMessage3"}) {
            const auto& image = childOf<QLabel>(form, icon);
            QCOMPARE(image.size(), QSize(36, 36));
            QVERIFY(!image.isVisibleTo(&form));
            QVERIFY(!image.pixmap().isNull());
        }
        const auto& timer = childOf<QTimer>(form, "timDefault");
        QVERIFY(!timer.isActive());
        QCOMPARE(timer.interval(), 1000);
        QCOMPARE(&timer, &form.timDefault());
    }

    void buttonNames_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        const QStringList names{"Yes",    "No",  "OK",      "Cancel",   "Abort", "Retry",
                                "Ignore", "All", "NoToAll", "YesToAll", "Help"};
        for (int index = 0; index < names.size(); ++index) {
            QTest::addRow("%d", index) << index << names.at(index);
        }
        dataRow("outside the set", 11, "");
        dataRow("last byte", 255, "");
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
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<int>("defaultButton");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("clicked");
        const QStringList okCancel{"2:&OK", "3:&Cancelar"};
        dataRow("Enter: default", okCancel, 2, int(Qt::Key_Return), QStringList{"OK"});
        dataRow("Enter: another default", okCancel, 3, int(Qt::Key_Return), QStringList{"Cancel"});
        dataRow("Escape: cancel", okCancel, 2, int(Qt::Key_Escape), QStringList{"Cancel"});
        dataRow("Enter: default missing", QStringList{"0:&Sim", "1:&Não"}, 2, int(Qt::Key_Return),
                QStringList{});
        dataRow("Escape: cancel missing", QStringList{"0:&Sim"}, 0, int(Qt::Key_Escape), QStringList{});
        dataRow("Enter: default outside the set", okCancel, 200, int(Qt::Key_Return), QStringList{});
        dataRow("S clicks both", QStringList{"0:&Sim", "1:&Não", "9:&Sim a todos"}, 2, int(Qt::Key_S),
                QStringList{"Yes", "YesToAll"});
        dataRow("lower-case accelerator", QStringList{"0:&sim"}, 2, int(Qt::Key_S), QStringList{});
        dataRow("after the first ampersand", QStringList{"6:I&Gnorar", "5:&Repetir &G"}, 2, int(Qt::Key_G),
                QStringList{"Ignore"});
        dataRow("digit", QStringList{"5:&1 Repetir", "6:&2 Ignorar"}, 2, int(Qt::Key_2),
                QStringList{"Ignore"});
        dataRow("no ampersand", QStringList{"2:OK"}, 3, int(Qt::Key_O), QStringList{});
        dataRow("ampersand last", QStringList{"2:OK&"}, 3, int(Qt::Key_O), QStringList{});
        // F4's code, 115, reads as "s".
        dataRow("key code's low byte", QStringList{"0:&sim", "1:&Sair"}, 2, int(Qt::Key_F4),
                QStringList{"Yes"});
        dataRow("Tab is no accelerator", QStringList{"0:&\t"}, 2, int(Qt::Key_Tab), QStringList{});
    }
    void keys() {
        QFETCH(QStringList, buttons);
        QFETCH(int, defaultButton);
        QFETCH(int, key);
        QFETCH(QStringList, clicked);
        Dialog dialog(buttons, defaultButton);
        dialog.form.deliverKey(key, Qt::NoModifier, {});
        QCOMPARE(dialog.clicked, clicked);
    }

    void onlyTouchButtonsAnswerAccelerators() {
        Dialog dialog({"0:&Sim"});
        auto* plain = new TBlendedButton(&dialog.form);
        plain->setCaption("&Sair");
        QSignalSpy plainClicks(plain, &QAbstractButton::clicked);
        dialog.form.deliverKey(Qt::Key_S, Qt::NoModifier, "s");
        QCOMPARE(dialog.clicked, QStringList{"Yes"});
        QCOMPARE(plainClicks.count(), 0);
    }

    void timer_data() {
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QStringList>("clicked");
        QTest::addColumn<int>("answer");  // -1: none
        dataRow("default button", QStringList{"1:&Não", "2:&OK"}, QStringList{"OK"}, 2);
        dataRow("no default button: closes", QStringList{"0:&Sim", "1:&Não"}, QStringList{}, -1);
    }
    void timer() {
        QFETCH(QStringList, buttons);
        QFETCH(QStringList, clicked);
        QFETCH(int, answer);
        Dialog dialog(buttons, 2);
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
        QCOMPARE(dialog.clicked, clicked);
        QCOMPARE(dialog.form.answer(),
                 answer < 0 ? std::nullopt : std::optional<quint8>(static_cast<quint8>(answer)));
    }
};

QTEST_MAIN(TestMessageDlg)
#include "tst_messagedlg.moc"

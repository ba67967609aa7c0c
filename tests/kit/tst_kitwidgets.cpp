#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

#include "kit/Buttons.h"
#include "kit/ErrorReport.h"
#include "kit/Form.h"
#include "kit/Modal.h"
#include "kit/WaitOverlay.h"
#include "kit/core/Errors.h"
#include "kit/core/VirtualKeys.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"

namespace {

// Records what reaches a form's key handlers and discards what it is told to.
class KeyProbe : public TForm {
public:
    QList<int> keys;
    QString chars;
    int discardKey = -1;
    int activations = 0;

protected:
    void FormKeyDown(int& key, Qt::KeyboardModifiers) override {
        keys.append(key);
        if (key == discardKey) {
            key = 0;
        }
    }
    void FormKeyPress(QChar& key) override { chars.append(key); }
    void FormActivate() override { ++activations; }
};

}  // namespace

class TestKitWidgets : public QObject {
    Q_OBJECT
private slots:
    void keysReachFormBeforeDefaults_data() {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("virtualKey");
        QTest::addColumn<QString>("typed");
        dataRow("digit", int(Qt::Key_5), "5", 53, "5");
        dataRow("enter", int(Qt::Key_Return), "\r", vk::Return, "\r");
        dataRow("tab is typed, not a focus move", int(Qt::Key_Tab), "\t", vk::Tab, "\t");
        dataRow("delete", int(Qt::Key_Delete), "", vk::Delete, "");
        dataRow("f4", int(Qt::Key_F4), "", vk::F4, "");
    }

    void keysReachFormBeforeDefaults() {
        QFETCH(int, qtKey);
        QFETCH(QString, text);
        QFETCH(int, virtualKey);
        QFETCH(QString, typed);
        KeyProbe form;
        form.show();
        QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, text);
        QApplication::sendEvent(&form, &press);
        QCOMPARE(form.keys, QList<int>{virtualKey});
        QCOMPARE(form.chars, typed);
    }

    void discardedKeyIsNotTyped() {
        KeyProbe form;
        form.discardKey = 53;
        form.deliverKey(Qt::Key_5, Qt::NoModifier, "5");
        QVERIFY(form.chars.isEmpty());
    }

    void escapeDoesNotCloseForm() {
        KeyProbe form;
        form.show();
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(form.isVisible());
    }

    void modalScriptActsInsideActivatedDialog() {
        ModalScript script;
        int seenActivations = -1;
        script.then([&](QDialog& dialog) {
            seenActivations = static_cast<KeyProbe&>(dialog).activations;
            dialog.close();
        });
        KeyProbe form;
        ExecModal(form);
        QVERIFY2(script.faults().isEmpty(), qPrintable(script.faults().join('\n')));
        QCOMPARE(seenActivations, 1);
        QCOMPARE(script.pendingSteps(), 0);
    }

    void modalScriptRejectsDialogLeftOpen() {
        ModalScript script({[](QDialog&) {}}, 50);
        KeyProbe form;
        ExecModal(form);
        QCOMPARE(script.faults().size(), 1);
        QVERIFY(!form.isVisible());
    }

    void guardSwallowsSilentAbort() {
        ModalScript script;  // any message box would be a fault: no step for it
        bool after = false;
        runGuarded([&] { throw SilentAbort(); });
        after = true;
        QVERIFY(after);
        QVERIFY(script.shown().isEmpty());
    }

    void guardReportsOtherFailures() {
        ModalScript script;
        QString shownText;
        script.then([&](QDialog& dialog) {
            shownText = static_cast<QMessageBox&>(dialog).text();
            dialog.close();
        });
        runGuarded([] { throw KioskError(QStringLiteral("Data inválida: dia 31 do mês 4 de 2024.")); });
        QCOMPARE(script.shown(), QStringList{"ErrorReport"});
        QCOMPARE(shownText, QStringLiteral("Data inválida: dia 31 do mês 4 de 2024."));
    }

    void waitOverlayIsRemovedOnFailure() {
        try {
            ShowAviScope wait(nullptr, 6);
            QVERIFY(isShowAviActive());
            throw KioskError(QStringLiteral("falha"));
        } catch (const KioskError&) {
        }
        QVERIFY(!isShowAviActive());
        DeactiveShowAvi();  // a second removal is harmless
        QVERIFY(!isShowAviActive());
    }

    void buttonsNeverTakeFocus() {
        TBlendedBitBtn bit;
        TdxfColorButton color;
        QCOMPARE(bit.focusPolicy(), Qt::NoFocus);
        QCOMPARE(color.focusPolicy(), Qt::NoFocus);
        color.setCaptionStrings({"7", "unused"});
        QCOMPARE(color.text(), QStringLiteral("7"));
    }
};

QTEST_MAIN(TestKitWidgets)
#include "tst_kitwidgets.moc"

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
#include "support/ModalScript.h"
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
    // The key handler sees every key first; the character follows unless discarded (the probe drops Space).
    void keysReachFormBeforeDefaults_data() {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("virtualKey");
        dataRow("digit", int(Qt::Key_5), "5", 53);
        dataRow("enter", int(Qt::Key_Return), "\r", vk::Return);
        dataRow("tab is typed, not a focus move", int(Qt::Key_Tab), "\t", vk::Tab);
        dataRow("delete", int(Qt::Key_Delete), "", vk::Delete);
        dataRow("f4", int(Qt::Key_F4), "", vk::F4);
        dataRow("discarded key is not typed", int(Qt::Key_Space), " ", vk::Space);
    }

    void keysReachFormBeforeDefaults() {
        QFETCH(int, qtKey);
        QFETCH(QString, text);
        QFETCH(int, virtualKey);
        KeyProbe form;
        form.discardKey = vk::Space;
        form.show();
        QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, text);
        QApplication::sendEvent(&form, &press);
        QCOMPARE(form.keys, QList<int>{virtualKey});
        QCOMPARE(form.chars, virtualKey == vk::Space ? QString() : text);
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

    // The silent abort passes without a word; any other failure is reported in a message box.
    void guardReportsFailuresButTheSilentAbort() {
        ModalScript script;
        QString shownText;
        script.then([&](QDialog& dialog) {
            shownText = static_cast<QMessageBox&>(dialog).text();
            dialog.close();
        });
        runGuarded([] { throw SilentAbort(); });
        QVERIFY(script.shown().isEmpty());
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

    void colorButtonShowsItsFirstCaption() {
        TdxfColorButton color;
        color.setCaptionStrings({"7", "unused"});
        QCOMPARE(color.text(), QStringLiteral("7"));
    }
};

QTEST_MAIN(TestKitWidgets)
#include "tst_kitwidgets.moc"

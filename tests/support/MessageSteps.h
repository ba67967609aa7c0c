#pragma once

// Script steps that answer the kiosk's messages and reports, recording what they said.
#include <QDialog>
#include <QLabel>
#include <QTest>
#include <QTextEdit>

#include "support/ModalScript.h"
#include "support/Widgets.h"

// Records a message's text and answers it.
inline ModalScript::Step answerMessage(QStringList* texts) {
    return [texts](QDialog& message) {
        texts->append(childOf<QLabel>(message, "lblMessage").text());
        QTest::keyClick(&message, Qt::Key_Return);
    };
}

// Opens a message's details, records its text and details, and answers it.
inline ModalScript::Step answerMessageWithDetails(QString* text) {
    return [text](QDialog& message) {
        press(message, "tcbDetalhes");
        *text = childOf<QLabel>(message, "lblMessage").text() + u'\n' +
                childOf<QTextEdit>(message, "redDetalhes").toPlainText();
        QTest::keyClick(&message, Qt::Key_Return);
    };
}

// Records the name and text of the application's plain error report ("ErrorReport:text") and closes it.
inline ModalScript::Step answerErrorReport(QString* text) {
    return [text](QDialog& box) {
        *text = box.objectName() + u':' + childOf<QLabel>(box, "qt_msgbox_label").text();
        box.accept();
    };
}

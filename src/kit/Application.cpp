#include "kit/Application.h"

#include "platform/WorkingDirectory.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QPixmapCache>
#include <QPointer>

namespace {
int g_module = 0;
QPointer<QWidget> g_mainForm;

QString translated(const QString& text) {
    return text.isEmpty() ? text : QCoreApplication::translate("Trad", text.toUtf8().constData());
}
}  // namespace

void Trad(QWidget* form) {
    if (form == nullptr) {
        return;
    }
    for (QLabel* label : form->findChildren<QLabel*>()) {
        const QString text = translated(label->text());
        if (text != label->text()) {
            label->setText(text);
        }
    }
    for (QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
        const QString text = translated(button->text());
        if (text != button->text()) {
            button->setText(text);
        }
    }
}

void SetModuloAtiv(int module) {
    g_module = module;
}
int ModuloAtiv() {
    return g_module;
}

QString WorkingDirectory() {
    return platform::workingDirectoryPath();
}

void SetMainForm(QWidget* form) {
    g_mainForm = form;
}
QWidget* MainForm() {
    return g_mainForm.data();
}

QString ApplicationTitle() {
    return QGuiApplication::applicationDisplayName();
}

void applyApplicationLook(QWidget* form) {
    form->setWindowTitle(ApplicationTitle());
    form->setWindowIcon(QApplication::windowIcon());
}

void installFontSubstitutes() {
    // Tahoma is narrower than DejaVu Sans: Liberation Sans keeps captions inside their buttons.
    QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Verdana"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Times New Roman"),
                               {QStringLiteral("Liberation Serif"), QStringLiteral("DejaVu Serif")});
}

// The style caches what it paints (grid headers, frames) under keys that include the palette's identity, and
// every screen of the kiosk gets a palette of its own, so each consultation adds new keys; Qt 6.4 keeps the
// text keys of entries that are gone, so the kiosk grew by about 0.3 KB per consultation for ever (the soak
// run in bench/soak showed it). Without the cache the style paints those pictures afresh, which costs little
// on screens that are built anew for every consumer.
void disablePixmapCache() {
    QPixmapCache::setCacheLimit(0);
}

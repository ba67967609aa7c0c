#include "app/Startup.h"

#include "app/KioskActivity.h"
#include "app/TfrmPrincipal.h"
#include "dialogs/TfrmMensagem.h"
#include "dialogs/TfrmMessageDlg.h"
#include "kit/Application.h"
#include "kit/ErrorReport.h"
#include "kit/core/Errors.h"
#include "platform/ServiceWatchdog.h"

#include <QApplication>
#include <QDir>
#include <QSettings>

namespace {

constexpr int KioskModule = 62;

// An operator or a test can keep the terminal's registry key elsewhere than the system configuration folder.
void honourRegistryFolder() {
    const QString folder = qEnvironmentVariable("TOTEM_REGISTRY_DIR");
    if (!folder.isEmpty()) {
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, folder);
    }
}

}  // namespace

void enterWorkingDirectory(const QString& path) {
    QDir directory(path);
    if (!directory.exists() && !QDir().mkdir(path)) {
        throw KioskError(QStringLiteral("Não foi possível criar o diretório de trabalho %1.").arg(path));
    }
    if (!QDir::setCurrent(path)) {
        throw KioskError(QStringLiteral("Não foi possível entrar no diretório de trabalho %1.").arg(path));
    }
}

int runKiosk(QApplication& application) {
    installFontSubstitutes();
    disablePixmapCache();
    honourRegistryFolder();
    QApplication::setWindowIcon(QIcon());  // every form copies the application's icon: there is none
    try {
        enterWorkingDirectory(WorkingDirectory());
    } catch (...) {
        reportFailure(std::current_exception());
        return 1;
    }
    SetModuloAtiv(KioskModule);
    application.setProperty("helpFile", QStringLiteral("PdvHELP.hlp"));

    TfrmPrincipal shell;
    SetMainForm(&shell);
    // Created with the shell and kept hidden for the whole run, as the kit expects; messages use their own.
    TfrmMensagem startupMessageForm;
    TfrmMessageDlg timedMessageDialog;
    const platform::ServiceWatchdog watchdog;  // under systemd a frozen event loop gets the kiosk restarted
    const KioskActivity activity(watchdog);
    shell.show();
    const int status = application.exec();
    return status != 0 ? status : programExitStatus();
}

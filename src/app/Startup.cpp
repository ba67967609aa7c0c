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

#include <cstdio>

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
    // The whole path: run from a desktop's autostart, the account's data folder may not exist yet either.
    if (!directory.exists() && !QDir().mkpath(path)) {
        throw KioskError(QStringLiteral("Não foi possível criar o diretório de trabalho %1.").arg(path));
    }
    if (!QDir::setCurrent(path)) {
        throw KioskError(QStringLiteral("Não foi possível entrar no diretório de trabalho %1.").arg(path));
    }
}

std::optional<int> answerWithoutDisplay(int argc, char** argv) {
    if (argc < 2) {
        return std::nullopt;
    }
    const QByteArray argument(argv[1]);
    if (argument == "--version") {
        std::printf("totem-kiosk %s\n", TOTEM_VERSION);
        return 0;
    }
    if (argument == "--help") {
        std::printf("Usage: totem-kiosk\n\n"
                    "The consultation kiosk: full screen, it waits for a badge or a typed code and shows the\n"
                    "consumer's statement from the application server. It takes no arguments; its settings are\n"
                    "in its registry key (the INI file QUENVOR/Strovel.ini under /etc/xdg, or under\n"
                    "TOTEM_REGISTRY_DIR): IPServidor, PortaServidor, Totem, CertificadoCA.\n\n"
                    "  --help     this text\n"
                    "  --version  the program's version\n");
        return 0;
    }
    // Qt's own platform arguments (-platform, -display...) go through to the application.
    if (argument.startsWith('-') && !argument.startsWith("--")) {
        return std::nullopt;
    }
    std::fprintf(stderr, "totem-kiosk: unknown argument %s\n(totem-kiosk --help says what it takes.)\n",
                 argument.left(60).constData());
    return 2;
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
    const KioskActivity activity(watchdog, shell.terminalContext());
    shell.show();
    const int status = application.exec();
    return status != 0 ? status : programExitStatus();
}

#include "platform/AppInfo.h"
#include "platform/MessageBox.h"
#include "shell/UiFont.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <csignal>

int main(int argc, char* argv[])
{
    // A server that closes its socket under a write must give an error, not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
#ifdef MIVORA_INSTALLED
    // The installed program's folder belongs to the package: settings go to the user's own folder.
    platform::setSettingsLocation(platform::SettingsLocation::UserConfig);
#endif
    // Only the name: a display name would be appended to every window caption.
    QApplication::setApplicationName(platform::applicationTitle);
    // Ties the windows to the menu entry mivora.desktop (its icon on Wayland and in task bars).
    QGuiApplication::setDesktopFileName(QStringLiteral("mivora"));
    shell::applyJapaneseUiFont();
    // Qt's own texts (the save dialog's buttons and labels) in Japanese, like the rest of the UI.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    frmMain window;
    window.show();
    // The program ends with its main window: frmDet is modal and cannot outlive it.
    return QApplication::exec();
}

#include "platform/MessageBox.h"
#include "shell/UiFont.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // Only the name: a display name would be appended to every window caption.
    QApplication::setApplicationName(platform::applicationTitle);
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

#include "platform/MessageBox.h"
#include "shell/UiFont.h"
#include "shell/frmMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // Only the name: a display name would be appended to every window caption.
    QApplication::setApplicationName(platform::applicationTitle);
    shell::applyJapaneseUiFont();
    frmMain window;
    window.show();
    // The program ends with its main window: frmDet is modal and cannot outlive it.
    return QApplication::exec();
}

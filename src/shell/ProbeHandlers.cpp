// The click handlers of the hidden probe buttons Command1 ... Command8 of frmMain: what each
// probe does is in probes/Probes.h; here is what the window shows of it.
#include "platform/MessageBox.h"
#include "probes/Probes.h"
#include "shell/frmMain.h"

#include <QHeaderView>
#include <QTreeView>

void frmMain::Command1_Click()
{
    probes::showDomain([this](const QString& text) { platform::MsgBox(text, platform::MessageIcon::None, this); });
}

void frmMain::Command2_Click()
{
    probes::enumerateDomain();
}

void frmMain::Command3_Click()
{
    probes::enumerateDomainAsAdministrator();
}

void frmMain::Command4_Click()
{
    probes::queryOperatingSystem();
}

void frmMain::Command5_Click()
{
    probes::listLocalUsers();
}

void frmMain::Command6_Click()
{
    // Widths in twips, 1440 to the inch: 15 a pixel at 96 dpi.
    const float twipsPerPixel = 1440.0F / static_cast<float>(lvList->logicalDpiX());
    const QHeaderView* header = lvList->header();
    const auto count = static_cast<qint16>(header->count());
    for (qint16 i = 1; i <= count; ++i) {
        const float sngWidth = static_cast<float>(header->sectionSize(i - 1)) * twipsPerPixel;
        // A single has 7 significant digits.
        platform::MsgBox(QString::number(sngWidth, 'g', 7), platform::MessageIcon::None, this);
    }
}

void frmMain::Command7_Click()
{
    platform::MsgBox(u'@' + probes::storedUserName() + u'@', platform::MessageIcon::None, this);
}

void frmMain::Command8_Click()
{
    probes::writeHoge();
}

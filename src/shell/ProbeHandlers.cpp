// The click handlers of the hidden probe buttons Command1 ... Command8 of frmMain. Each one
// stops at the step that fails; nothing is reported and nothing is undone.
#include "directory/Directory.h"
#include "directory/WinNtProvider.h"
#include "platform/AppInfo.h"
#include "platform/Cp932.h"
#include "platform/MessageBox.h"
#include "platform/WmiScripting.h"
#include "probes/DateText.h"
#include "probes/LdapNamespace.h"
#include "probes/basAPI.h"
#include "probes/mdlMain.h"
#include "shell/frmMain.h"

#include <QFile>
#include <QHeaderView>
#include <QTreeView>

namespace {

// Chosen so that no probe reaches past this machine: the sample directory's domain, the
// loopback address and this host. The domain alone would not do: ldap.conf or DNS may name a
// real domain controller for it, so the directory probes also bind under ThisMachineOnly and
// never send the fixed account and password anywhere else.
const QString domainDnsName = QStringLiteral("example.test");
const QString domainRootDn = QStringLiteral("DC=example,DC=test");
const QString wmiServer = QStringLiteral("127.0.0.1");
const QString winNtServer = QStringLiteral("localhost");
const QString accountName = QStringLiteral("administrator");
const QString directoryPassword = QStringLiteral("4821rum");
const QString wmiPassword = QStringLiteral("qorvu");
const QString wmiNamespace = QStringLiteral("root\\cimv2");
const QString wmiQuery = QStringLiteral("Select * From Win32_OperatingSystem");

QString probeIniFile()
{
    // "/" and not "\": the backslash is no path separator here.
    return platform::appPath() + QStringLiteral("/larchfen.ini");
}

void readNames(const directory::Directory::Batch& batch)
{
    for (const directory::DirObject& objChild : batch)
        [[maybe_unused]] const QString strName = objChild.name();
}

} // namespace

void frmMain::Command1_Click()
{
    const directory::ThisMachineOnly local;
    try {
        const directory::DirObject objDomain
            = directory::currentDirectory().bind(QStringLiteral("LDAP://") + domainDnsName);
        platform::MsgBox(objDomain.get(QStringLiteral("Name")).toString(), platform::MessageIcon::None, this);
        platform::MsgBox(
            probes::dateText(objDomain.get(QStringLiteral("whenCreated"))), platform::MessageIcon::None, this);
    } catch (const directory::DirectoryError&) { }
}

void frmMain::Command2_Click()
{
    const directory::ThisMachineOnly local;
    try {
        directory::Directory& ads = directory::currentDirectory();
        directory::DirObject objDomain = ads.bind(QStringLiteral("LDAP://") + domainRootDn);
        objDomain = ads.bind(QStringLiteral("LDAP://") + domainDnsName);
        ads.enumerate(objDomain, {}, readNames);
    } catch (const directory::DirectoryError&) { }
}

void frmMain::Command3_Click()
{
    const directory::ThisMachineOnly local;
    try {
        const probes::LdapNamespace objNamespace = probes::LdapNamespace::bind(QStringLiteral("LDAP:"));
        const directory::DirObject objContainer = objNamespace.OpenDSObject(QStringLiteral("LDAP://") + domainRootDn,
            accountName, directoryPassword, probes::ADS_SECURE_AUTHENTICATION);
        directory::currentDirectory().enumerate(objContainer, {}, readNames);
    } catch (const directory::DirectoryError&) { }
}

void frmMain::Command4_Click()
{
    try {
        const platform::wmi::SWbemLocator objLocator;
        platform::wmi::SWbemServices objServices
            = objLocator.ConnectServer(wmiServer, wmiNamespace, accountName, wmiPassword);
        objServices.Security_().setAuthenticationLevel(platform::wmi::wbemAuthenticationLevelPktPrivacy);
        for (const platform::wmi::SWbemObject& objOs : objServices.ExecQuery(wmiQuery))
            [[maybe_unused]] const QString strCaption = objOs.Caption;
    } catch (const platform::wmi::WmiError&) { }
}

void frmMain::Command5_Click()
{
    try {
        const directory::winnt::Namespace objNamespace = directory::winnt::bindNamespace(QStringLiteral("WinNT:"));
        // The four backslashes are part of the user name as it is passed.
        directory::winnt::Computer objContainer = objNamespace.OpenDSObject(QStringLiteral("WinNT://") + winNtServer,
            winNtServer + QStringLiteral("\\\\\\\\") + accountName, directoryPassword,
            probes::ADS_SECURE_AUTHENTICATION);
        objContainer.setFilter({ QStringLiteral("User") });
        for (const directory::winnt::User& objUser : objContainer.children())
            [[maybe_unused]] const QString strName = objUser.Name;
    } catch (const directory::DirectoryError&) { }
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
    const QString strFile = probeIniFile();
    const QString strValue = mdlMain::GetIniValue(QStringLiteral("USERNAME"), QStringLiteral("Data"), strFile);
    platform::MsgBox(u'@' + strValue + u'@', platform::MessageIcon::None, this);
}

void frmMain::Command8_Click()
{
    // The path in the file system's bytes; CP932 is for the texts inside the file.
    const QByteArray fileName = QFile::encodeName(probeIniFile());
    const QByteArray hoge = platform::toAnsi(u"hoge");
    WritePrivateProfileStringA(hoge.constData(), hoge.constData(), hoge.constData(), fileName.constData());
}

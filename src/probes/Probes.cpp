#include "probes/Probes.h"

#include "directory/Directory.h"
#include "platform/AppInfo.h"
#include "platform/Cp932.h"
#include "platform/mdlMain.h"
#include "probes/DateText.h"
#include "probes/LdapNamespace.h"
#include "probes/WinNtProvider.h"
#include "probes/WmiScripting.h"
#include "probes/basAPI.h"

#include <QFile>

namespace probes {

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

void showDomain(const std::function<void(const QString&)>& show)
{
    const directory::ThisMachineOnly local;
    try {
        const directory::DirObject objDomain
            = directory::currentDirectory().bind(QStringLiteral("LDAP://") + domainDnsName);
        show(objDomain.get(QStringLiteral("Name")).toString());
        show(dateText(objDomain.get(QStringLiteral("whenCreated"))));
    } catch (const directory::DirectoryError&) { }
}

void enumerateDomain()
{
    const directory::ThisMachineOnly local;
    try {
        directory::Directory& ads = directory::currentDirectory();
        directory::DirObject objDomain = ads.bind(QStringLiteral("LDAP://") + domainRootDn);
        objDomain = ads.bind(QStringLiteral("LDAP://") + domainDnsName);
        ads.enumerate(objDomain, {}, readNames);
    } catch (const directory::DirectoryError&) { }
}

void enumerateDomainAsAdministrator()
{
    const directory::ThisMachineOnly local;
    try {
        const LdapNamespace objNamespace = LdapNamespace::bind(QStringLiteral("LDAP:"));
        const directory::DirObject objContainer = objNamespace.OpenDSObject(
            QStringLiteral("LDAP://") + domainRootDn, accountName, directoryPassword, ADS_SECURE_AUTHENTICATION);
        directory::currentDirectory().enumerate(objContainer, {}, readNames);
    } catch (const directory::DirectoryError&) { }
}

void queryOperatingSystem()
{
    try {
        const wmi::SWbemLocator objLocator;
        wmi::SWbemServices objServices = objLocator.ConnectServer(wmiServer, wmiNamespace, accountName, wmiPassword);
        objServices.Security_().setAuthenticationLevel(wmi::wbemAuthenticationLevelPktPrivacy);
        for (const wmi::SWbemObject& objOs : objServices.ExecQuery(wmiQuery))
            [[maybe_unused]] const QString strCaption = objOs.Caption;
    } catch (const wmi::WmiError&) { }
}

void listLocalUsers()
{
    try {
        const winnt::Namespace objNamespace = winnt::bindNamespace(QStringLiteral("WinNT:"));
        // The four backslashes are part of the user name as it is passed.
        winnt::Computer objContainer = objNamespace.OpenDSObject(QStringLiteral("WinNT://") + winNtServer,
            winNtServer + QStringLiteral("\\\\\\\\") + accountName, directoryPassword, ADS_SECURE_AUTHENTICATION);
        objContainer.setFilter({ QStringLiteral("User") });
        for (const winnt::User& objUser : objContainer.children())
            [[maybe_unused]] const QString strName = objUser.Name;
    } catch (const directory::DirectoryError&) { }
}

QString storedUserName()
{
    return mdlMain::GetIniValue(QStringLiteral("USERNAME"), QStringLiteral("Data"), probeIniFile());
}

void writeHoge()
{
    // The path in the file system's bytes; CP932 is for the texts inside the file.
    const QByteArray fileName = QFile::encodeName(probeIniFile());
    const QByteArray hoge = platform::toAnsi(u"hoge");
    WritePrivateProfileStringA(hoge.constData(), hoge.constData(), hoge.constData(), fileName.constData());
}

} // namespace probes

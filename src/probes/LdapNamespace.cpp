#include "probes/LdapNamespace.h"

#include "directory/Directory.h"

namespace probes {

LdapNamespace LdapNamespace::bind(const QString& providerName)
{
    if (providerName != u"LDAP:")
        throw directory::DirectoryError(directory::hresult::BadPathName,
            QStringLiteral("パス名が正しくありません: %1").arg(providerName.left(200)));
    return LdapNamespace();
}

directory::DirObject LdapNamespace::OpenDSObject(
    const QString& path, const QString& user, const QString& password, int /*flags*/) const
{
    return directory::currentDirectory().openDSObject(path, user, password);
}

} // namespace probes

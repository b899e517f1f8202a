#include "TestDirectory.h"

namespace TestDirectory {

QString bulkChildClass(int k)
{
    if (k % 250 == 0)
        return QStringLiteral("group");
    if (k % 250 == 125)
        return QStringLiteral("computer");
    return QStringLiteral("user");
}

QString bulkChildDn(int k)
{
    const QString kind = bulkChildClass(k) == QLatin1String("group") ? QStringLiteral("grup")
        : bulkChildClass(k) == QLatin1String("computer")             ? QStringLiteral("comp")
                                                                     : QStringLiteral("user");
    return QStringLiteral("cn=%1-%2,").arg(k, 4, 10, QLatin1Char('0')).arg(kind) + bulkOu;
}

QString adsPath(const QString& dn)
{
    return QStringLiteral("LDAP://") + dn;
}

QString firstRdn(const QString& dn)
{
    for (qsizetype i = 0; i < dn.size(); ++i) {
        if (dn.at(i) == QLatin1Char('\\'))
            ++i;
        else if (dn.at(i) == QLatin1Char(','))
            return dn.left(i);
    }
    return dn;
}

} // namespace TestDirectory

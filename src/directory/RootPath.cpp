#include "directory/RootPath.h"

#include <QStringList>

namespace directory {

QString rootPath(const QString& domain)
{
    QString path;
    for (const QString& label : domain.split(u'.', Qt::KeepEmptyParts))
        path += QStringLiteral("DC=") + label + u',';
    path.chop(1);
    return QStringLiteral("LDAP://") + path;
}

} // namespace directory

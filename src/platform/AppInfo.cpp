#include "platform/AppInfo.h"

#include <QCoreApplication>

namespace platform {

namespace {
QString& overridePath()
{
    static QString path;
    return path;
}
} // namespace

QString appPath()
{
    if (!overridePath().isEmpty())
        return overridePath();
    return QCoreApplication::applicationDirPath();
}

void setAppPathForTesting(const QString& path)
{
    overridePath() = path;
}

} // namespace platform

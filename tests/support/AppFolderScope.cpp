#include "AppFolderScope.h"

#include <QDir>
#include <QTest>

bool AppFolderScope::moveInto(const QString& name)
{
    if (!QDir(folder.path()).mkdir(name))
        return false;
    platform::testing::setAppPath(folder.filePath(name));
    return true;
}

void foldersCp932CannotNameRows()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("é") << QStringLiteral("josé");
    QTest::newRow("〜") << QStringLiteral("波〜線");
}

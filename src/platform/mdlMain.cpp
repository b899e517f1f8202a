#include "platform/mdlMain.h"

#include "platform/Cp932.h"
#include "platform/PrivateProfile.h"

#include <QFile>

namespace mdlMain {

QString strObjectPath;

QString GetIniValue(const QString& strKey, const QString& strSection, const QString& strFile)
{
    QString strBuf(255, QChar(u'\0'));
    const QByteArray ansiSection = platform::toAnsi(strSection);
    const QByteArray ansiKey = platform::toAnsi(strKey);
    const QByteArray ansiDefault = platform::toAnsi(u"ERROR");
    // The path is the file system's bytes, only the texts inside the file are CP932.
    const QByteArray fileName = QFile::encodeName(strFile);
    QByteArray ansiBuf = platform::toAnsi(strBuf);
    platform::GetPrivateProfileStringA(ansiSection.constData(), ansiKey.constData(), ansiDefault.constData(),
        ansiBuf.data(), 255, fileName.constData());
    strBuf = platform::fromAnsi(ansiBuf);
    // The reader always leaves a NUL after what it copied.
    const qsizetype nul = strBuf.indexOf(QChar(u'\0'));
    return nul < 0 ? strBuf : strBuf.left(nul);
}

} // namespace mdlMain

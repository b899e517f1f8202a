#include "platform/Cp932.h"
#include "probes/basAPI.h"
#include "probes/mdlMain.h"

namespace mdlMain {

QString GetIniValue(const QString& strKey, const QString& strSection, const QString& strFile)
{
    QString strBuf(255, QChar(u'\0'));
    const QByteArray ansiSection = platform::toAnsi(strSection);
    const QByteArray ansiKey = platform::toAnsi(strKey);
    const QByteArray ansiDefault = platform::toAnsi(u"ERROR");
    const QByteArray ansiFile = platform::toAnsi(strFile);
    QByteArray ansiBuf = platform::toAnsi(strBuf);
    GetPrivateProfileStringA(ansiSection.constData(), ansiKey.constData(), ansiDefault.constData(), ansiBuf.data(), 255,
        ansiFile.constData());
    strBuf = platform::fromAnsi(ansiBuf);
    // The reader always leaves a NUL after what it copied.
    const qsizetype nul = strBuf.indexOf(QChar(u'\0'));
    return nul < 0 ? strBuf : strBuf.left(nul);
}

} // namespace mdlMain

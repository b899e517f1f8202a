#include "directory/AdsPath.h"

#include "directory/DirectoryError.h"

#include <QStringBuilder>

namespace directory {

namespace {
const QString providerPrefix = QStringLiteral("LDAP://");

[[noreturn]] void badPath(const QString& text)
{
    throw DirectoryError(
        hresult::BadPathName, QStringLiteral("パス名が正しくありません: %1").arg(messageExcerpt(text, 200)));
}

// Whether "LDAP://" + dn would read as a server: no '=' before the first '/'.
bool looksLikeServer(QStringView dn)
{
    for (const QChar c : dn) {
        if (c == u'=')
            return false;
        if (c == u'/')
            return true;
    }
    return true;
}

bool isValidServer(const QString& server)
{
    if (server.isEmpty())
        return false;
    QString host = server;
    QString port;
    if (host.startsWith(u'[')) {
        const qsizetype close = host.indexOf(u']');
        if (close < 2)
            return false;
        const QString rest = host.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return false;
        port = rest.mid(1);
        host = host.mid(1, close - 1);
        if (rest.startsWith(u':') && port.isEmpty())
            return false;
    } else {
        const qsizetype colon = host.indexOf(u':');
        if (colon >= 0) {
            port = host.mid(colon + 1);
            host = host.left(colon);
            if (port.isEmpty())
                return false;
        }
    }
    if (host.isEmpty())
        return false;
    for (QChar c : host) {
        if (!(c.isLetterOrNumber() || c == u'.' || c == u'-' || c == u'_' || c == u':'))
            return false;
    }
    if (!port.isEmpty()) {
        bool ok = false;
        const int value = port.toInt(&ok);
        if (!ok || value < 1 || value > 65535)
            return false;
    }
    return true;
}
} // namespace

AdsPath AdsPath::parse(const QString& text)
{
    if (!text.startsWith(providerPrefix))
        badPath(text);
    const QString rest = text.mid(providerPrefix.size());
    if (rest.isEmpty())
        badPath(text);
    AdsPath path;
    // "LDAP:///text": serverless, for a text that the short form would read as a server.
    if (rest.startsWith(u'/')) {
        path.dn_ = rest.mid(1);
        if (path.dn_.isEmpty() || !looksLikeServer(path.dn_))
            badPath(text);
        return path;
    }
    const qsizetype slash = rest.indexOf(u'/');
    const QString head = slash < 0 ? rest : rest.left(slash);
    // A DN always has an '=' in its first RDN; a server name never does.
    if (head.contains(u'=')) {
        path.dn_ = rest;
        return path;
    }
    if (!isValidServer(head))
        badPath(text);
    path.server_ = head;
    if (slash >= 0) {
        path.dn_ = rest.mid(slash + 1);
        if (path.dn_.isEmpty())
            badPath(text);
    }
    return path;
}

AdsPath AdsPath::forDn(const QString& dn, const QString& server)
{
    AdsPath path;
    path.server_ = server;
    path.dn_ = dn;
    return path;
}

QString AdsPath::toString() const
{
    // Built in one allocation of the exact size (`+` grows the copy, with room to spare): a
    // listing makes one path per child.
    if (server_.isEmpty())
        return !dn_.isEmpty() && looksLikeServer(dn_) ? QString(providerPrefix % u'/' % dn_)
                                                      : QString(providerPrefix % dn_);
    return dn_.isEmpty() ? QString(providerPrefix % server_) : QString(providerPrefix % server_ % u'/' % dn_);
}

} // namespace directory

#include "browser/SharedText.h"

namespace browser {

namespace {

// No DN comes near 4 GB: one LDAP message could not carry it.
quint32 length32(qsizetype length)
{
    return static_cast<quint32>(length);
}

} // namespace

SharedText::SharedText(const QString& path, const QString& name)
{
    // toUtf8 leaves room for three bytes a character; the copy below is the exact size.
    const QByteArray path8 = path.toUtf8();
    const QByteArray name8 = name.toUtf8();
    const qsizetype at = name8.isEmpty() ? 0 : path8.indexOf(name8);
    chars.reserve(path8.size() + (at >= 0 ? 0 : name8.size()));
    chars.append(path8);
    pathLength = length32(path8.size());
    if (at >= 0) {
        nameStart = length32(at);
    } else {
        nameStart = pathLength;
        chars.append(name8);
    }
    nameLength = length32(name8.size());
}

} // namespace browser

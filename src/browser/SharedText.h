#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace browser {

// The ADsPath and the name of one listed object in one string. The name (the first RDN) is
// normally part of the path, so it takes no bytes of its own; the tree node, the list row and
// the key table all hold the same string. Kept as UTF-8 in a buffer of exactly its size: a
// path is mostly ASCII, so that is about half of UTF-16, and only the rows on screen are ever
// turned back into QStrings.
struct SharedText {
    SharedText() = default;
    SharedText(const QString& path, const QString& name);

    QString path() const { return QString::fromUtf8(pathBytes()); }
    QString name() const { return QString::fromUtf8(QByteArrayView(chars).sliced(nameStart, nameLength)); }
    QByteArrayView pathBytes() const { return QByteArrayView(chars).first(pathLength); }

    QByteArray chars; // the path, followed by the name when the name is not found in it
    quint32 pathLength = 0;
    quint32 nameStart = 0;
    quint32 nameLength = 0;
};

} // namespace browser

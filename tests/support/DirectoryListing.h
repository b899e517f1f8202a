#pragma once

// Listings straight through the directory layer, the same on slapd and on Samba.

#include "directory/Directory.h"

#include <QStringList>
#include <vector>

namespace listing {

inline const QStringList fiveClasses { QStringLiteral("container"), QStringLiteral("organizationalUnit"),
    QStringLiteral("group"), QStringLiteral("computer"), QStringLiteral("user") };

// Every child of the object at adsPath of those classes (none: every class), the pages joined;
// pages, when given, counts them.
inline std::vector<directory::DirObject> childrenOf(directory::Directory& directory, const QString& adsPath,
    const QStringList& classes = fiveClasses, int* pages = nullptr)
{
    std::vector<directory::DirObject> all;
    directory.enumerate(directory.bind(adsPath), classes, [&](const directory::Directory::Batch& batch) {
        all.insert(all.end(), batch.begin(), batch.end());
        if (pages)
            ++*pages;
    });
    return all;
}

inline QStringList dnsOf(const std::vector<directory::DirObject>& objects)
{
    QStringList dns;
    for (const directory::DirObject& object : objects)
        dns.append(object.dn());
    return dns;
}

inline QStringList namesOf(const std::vector<directory::DirObject>& objects)
{
    QStringList names;
    for (const directory::DirObject& object : objects)
        names.append(object.name());
    return names;
}

} // namespace listing

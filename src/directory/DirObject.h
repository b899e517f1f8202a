#pragma once

#include "directory/AdsPath.h"
#include "directory/AttrValue.h"
#include "directory/Dn.h"

#include <QMap>
#include <memory>

namespace directory {

// The hold of the directory that bound an object on the connection it was bound on; defined by
// that directory (LdapDirectory), which alone reads through it.
struct ObjectSession;

// A bound directory object: its path, DN and the attributes read when it was bound.
// Cheap to copy. `session` is set for objects opened with explicit credentials, so that their
// children are read the same way.
class DirObject {
public:
    // Keys lower-case. A map, not a QHash: an entry of a listing has two attributes, too few to
    // pay for a hash table.
    using Attributes = QMap<QString, QList<QByteArray>>;

    DirObject() = default;
    DirObject(AdsPath path, Attributes attributes, std::shared_ptr<const ObjectSession> session = {});

    // ADSI's IADs properties.
    QString adsPath() const { return path_.toString(); }
    QString name() const { return dn::firstRdn(path_.dn()); }
    const QString& className() const { return className_; }

    const AdsPath& path() const { return path_; }
    const QString& dn() const { return path_.dn(); }
    const Attributes& attributes() const { return attributes_; }
    const std::shared_ptr<const ObjectSession>& session() const { return session_; }

    // IADs::Get: ADSI property names mapped onto LDAP attributes, matched without regard to case.
    AttrValue get(const QString& propertyName) const;
    // The LDAP attributes get(propertyName) reads, in the order it tries them: all a read of that
    // one property needs from the server.
    static QStringList ldapAttributesFor(const QString& propertyName);
    // The raw values of one LDAP attribute (or attribute with options, such as "member;range=0-*").
    QList<QByteArray> rawValues(const QString& ldapAttribute) const;

    // The class name: last structuralObjectClass value, else last objectClass value.
    static QString classFromAttributes(const Attributes& attributes);

private:
    AdsPath path_;
    Attributes attributes_;
    QString className_;
    std::shared_ptr<const ObjectSession> session_;
};

} // namespace directory

#include "directory/DirObject.h"

namespace directory {

DirObject::DirObject(AdsPath path, Attributes attributes, std::shared_ptr<void> session)
    : path_(std::move(path))
    , attributes_(std::move(attributes))
    , className_(classFromAttributes(attributes_))
    , session_(std::move(session))
{ }

QString DirObject::classFromAttributes(const Attributes& attributes)
{
    // slapd gives the one structural class; Active Directory lists the chain from "top" down.
    for (const char* name : { "structuralobjectclass", "objectclass" }) {
        const auto it = attributes.constFind(QLatin1String(name));
        if (it != attributes.constEnd() && !it->isEmpty())
            return AttrValue::text(it->constLast());
    }
    return {};
}

QList<QByteArray> DirObject::rawValues(const QString& ldapAttribute) const
{
    return attributes_.value(ldapAttribute.toLower());
}

AttrValue DirObject::get(const QString& propertyName) const
{
    const QString key = propertyName.toLower();
    if (key == u"displayname")
        return AttrValue(rawValues(QStringLiteral("displayName")));
    if (key == u"lastname")
        return AttrValue(rawValues(QStringLiteral("sn")));
    if (key == u"name") {
        // slapd treats "name" as a supertype, so only a stored value counts; else the RDN value.
        QList<QByteArray> values = rawValues(QStringLiteral("name"));
        if (values.isEmpty())
            values.append(dn::rdnValue(name()).toUtf8());
        return AttrValue(values);
    }
    if (key == u"whencreated") {
        QList<QByteArray> values = rawValues(QStringLiteral("whenCreated"));
        return AttrValue(values.isEmpty() ? rawValues(QStringLiteral("createTimestamp")) : values);
    }
    return AttrValue(rawValues(key));
}

} // namespace directory

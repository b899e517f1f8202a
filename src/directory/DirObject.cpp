#include "directory/DirObject.h"

#include <QStringList>

namespace directory {

namespace {
// Properties whose values live under other LDAP names; every other property is the attribute of
// its own name. whenCreated falls back to slapd's operational attribute.
struct PropertyAttributes {
    QLatin1StringView property; // lower case
    QLatin1StringView attributes[2];
};
constexpr PropertyAttributes renamedProperties[] {
    { QLatin1StringView("displayname"), { QLatin1StringView("displayName") } },
    { QLatin1StringView("lastname"), { QLatin1StringView("sn") } },
    { QLatin1StringView("whencreated"), { QLatin1StringView("whenCreated"), QLatin1StringView("createTimestamp") } },
};
} // namespace

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

QStringList DirObject::ldapAttributesFor(const QString& propertyName)
{
    for (const PropertyAttributes& renamed : renamedProperties) {
        if (propertyName.compare(renamed.property, Qt::CaseInsensitive) != 0)
            continue;
        QStringList attributes;
        for (const QLatin1StringView attribute : renamed.attributes) {
            if (!attribute.isEmpty())
                attributes.append(attribute);
        }
        return attributes;
    }
    return { propertyName };
}

AttrValue DirObject::get(const QString& propertyName) const
{
    QList<QByteArray> values;
    for (const QString& attribute : ldapAttributesFor(propertyName)) {
        values = rawValues(attribute);
        if (!values.isEmpty())
            break;
    }
    // slapd treats "name" as a supertype, so only a stored value counts; else the RDN value.
    if (values.isEmpty() && propertyName.compare(u"name", Qt::CaseInsensitive) == 0)
        values.append(dn::rdnValue(name()).toUtf8());
    return AttrValue(values);
}

} // namespace directory

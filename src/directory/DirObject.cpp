#include "directory/DirObject.h"

#include <QHash>
#include <QStringList>
#include <array>

namespace directory {

DirObject::DirObject(AdsPath path, Attributes attributes, std::shared_ptr<const ObjectSession> session)
    : path_(std::move(path))
    , attributes_(std::move(attributes))
    , className_(classFromAttributes(attributes_))
    , session_(std::move(session))
{ }

QString DirObject::classFromAttributes(const Attributes& attributes)
{
    // slapd gives the one structural class; Active Directory lists the chain from "top" down.
    static const std::array<QString, 2> names { QStringLiteral("structuralobjectclass"),
        QStringLiteral("objectclass") };
    for (const QString& name : names) {
        const auto it = attributes.constFind(name);
        if (it == attributes.constEnd() || it->isEmpty())
            continue;
        // The entries of a listing mostly share their class: the text made last is given again
        // while the value is the same, instead of one new string an entry.
        // Per thread, so no lock: a directory may run on any thread (the fuzzer runs each input on its own).
        thread_local QByteArray lastValue;
        thread_local QString lastText;
        const QByteArray& value = it->constLast();
        if (value != lastValue) {
            lastText = AttrValue::text(value);
            lastValue = value;
        }
        return lastText;
    }
    return {};
}

QList<QByteArray> DirObject::rawValues(const QString& ldapAttribute) const
{
    return attributes_.value(ldapAttribute.toLower());
}

QStringList DirObject::ldapAttributesFor(const QString& propertyName)
{
    // Properties whose values live under other LDAP names; whenCreated falls back to slapd's
    // operational attribute. Any other property is the attribute of its own name.
    static const QHash<QString, QStringList> renamed {
        { QStringLiteral("displayname"), { QStringLiteral("displayName") } },
        { QStringLiteral("lastname"), { QStringLiteral("sn") } },
        { QStringLiteral("whencreated"), { QStringLiteral("whenCreated"), QStringLiteral("createTimestamp") } },
    };
    return renamed.value(propertyName.toLower(), { propertyName });
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

#include "directory/DnKey.h"

#include "directory/LdapHandles.h"

#include <QStringList>
#include <memory>

namespace directory::dn {

namespace {

struct FreeDn {
    void operator()(LDAPDN parsed) const { ldap_dnfree(parsed); }
};
using DnPtr = std::unique_ptr<LDAPRDN, FreeDn>;

DnPtr parse(const QString& dn)
{
    const QByteArray utf8 = dn.toUtf8();
    if (utf8.contains('\0'))
        return {};
    LDAPDN parsed = nullptr;
    if (ldap_str2dn(utf8.constData(), &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS) {
        if (parsed)
            ldap_dnfree(parsed);
        return {};
    }
    return DnPtr(parsed);
}

QString text(const berval& value)
{
    return QString::fromUtf8(value.bv_val, static_cast<qsizetype>(value.bv_len));
}

bool isDomainComponent(const LDAPRDN rdn)
{
    return rdn[0] && !rdn[1] && text(rdn[0]->la_attr).compare(u"dc", Qt::CaseInsensitive) == 0;
}

} // namespace

QString comparisonKey(const QString& dn)
{
    const DnPtr parsed = parse(dn);
    if (!parsed)
        return {};
    QString key;
    for (LDAPRDN* rdn = parsed.get(); *rdn; ++rdn) {
        QStringList parts;
        for (LDAPAVA** ava = *rdn; *ava; ++ava) {
            const berval& value = (*ava)->la_value;
            // A value given as #hex stays the bytes it names; text values compare without case.
            const QString valueKey = ((*ava)->la_flags & LDAP_AVA_BINARY)
                ? u'#' + QString::fromLatin1(QByteArray(value.bv_val, static_cast<qsizetype>(value.bv_len)).toHex())
                : text(value).toCaseFolded();
            // Lengths in front keep "a=b,c" and "a=b","c" apart whatever the values hold.
            parts.append(text((*ava)->la_attr).toLower() + u'=' + QString::number(valueKey.size()) + u':' + valueKey);
        }
        parts.sort();
        key += QString::number(parts.size()) + u'|' + parts.join(u'|') + u'/';
    }
    return key;
}

QString domainPart(const QString& dn)
{
    const DnPtr parsed = parse(dn);
    if (!parsed)
        return {};
    LDAPRDN* first = parsed.get();
    while (*first)
        ++first;
    while (first != parsed.get() && isDomainComponent(first[-1]))
        --first;
    if (!*first)
        return {};
    char* raw = nullptr;
    if (ldap_dn2str(first, &raw, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS || !raw)
        return {};
    const ldap::CharPtr owner(raw);
    return QString::fromUtf8(raw);
}

} // namespace directory::dn

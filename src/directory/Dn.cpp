#include "directory/Dn.h"

#include "directory/LdapHandles.h"

#include <QStringList>
#include <array>
#include <optional>

namespace directory::dn {

namespace {

// The DN as libldap parses LDAPv3 text: nothing when the text is no DN (or holds a NUL, which
// the C string would cut short); a null pointer for the empty DN.
std::optional<ldap::DnPtr> parse(const QString& dn)
{
    const QByteArray utf8 = dn.toUtf8();
    if (utf8.contains('\0'))
        return std::nullopt;
    LDAPDN parsed = nullptr;
    const int rc = ldap_str2dn(utf8.constData(), &parsed, LDAP_DN_FORMAT_LDAPV3);
    ldap::DnPtr owner(parsed);
    if (rc != LDAP_SUCCESS)
        return std::nullopt;
    return owner;
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

QString text(const berval& value)
{
    return QString::fromUtf8(value.bv_val, static_cast<qsizetype>(value.bv_len));
}

bool isDomainComponent(const LDAPRDN rdn)
{
    return rdn[0] && !rdn[1] && text(rdn[0]->la_attr).compare(u"dc", Qt::CaseInsensitive) == 0;
}

void appendNumber(QString& key, qsizetype number)
{
    std::array<char, 24> digits;
    int length = 0;
    do {
        digits[length++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number > 0);
    while (length > 0)
        key.append(QLatin1Char(digits[--length]));
}

// "type=length:value" with the type in lower case (types are ASCII) and the value case-folded,
// or "#hex" for a value given as #hex. The length keeps "a=b,c" and "a=b","c" apart whatever
// the values hold.
void appendAva(QString& key, const LDAPAVA& ava)
{
    for (ber_len_t i = 0; i < ava.la_attr.bv_len; ++i) {
        const char c = ava.la_attr.bv_val[i];
        key.append(QLatin1Char(c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c));
    }
    key.append(u'=');
    const QString value = (ava.la_flags & LDAP_AVA_BINARY) ? u'#'
            + QString::fromLatin1(QByteArray(ava.la_value.bv_val, static_cast<qsizetype>(ava.la_value.bv_len)).toHex())
                                                           : text(ava.la_value).toCaseFolded();
    appendNumber(key, value.size());
    key.append(u':');
    key.append(value);
}

} // namespace

QString firstRdn(const QString& dn)
{
    bool quoted = false;
    for (qsizetype i = 0; i < dn.size(); ++i) {
        const QChar c = dn.at(i);
        if (c == u'\\') {
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && (c == u',' || c == u';')) {
            return dn.left(i);
        }
    }
    return dn;
}

QString rdnValue(const QString& rdn)
{
    const qsizetype equals = rdn.indexOf(u'=');
    if (equals < 0)
        return rdn;
    const QByteArray raw = rdn.mid(equals + 1).toUtf8();
    QByteArray value;
    bool quoted = false;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw.at(i);
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && c == '+')
            break;
        if (c == '\\' && i + 1 < raw.size()) {
            const QByteArray hex = raw.mid(i + 1, 2);
            // Two hex digits exactly: toInt would also take a sign or a blank, and "\+1" or
            // "\ 1" (an escaped plus or space before a digit) would become a control character.
            bool ok = hex.size() == 2 && isHexDigit(hex.at(0)) && isHexDigit(hex.at(1));
            const int byte = ok ? hex.toInt(&ok, 16) : 0;
            if (ok) {
                value.append(static_cast<char>(byte));
                i += 2;
            } else {
                value.append(raw.at(++i));
            }
            continue;
        }
        value.append(c);
    }
    return QString::fromUtf8(value);
}

bool isValid(const QString& dn)
{
    return parse(dn).has_value();
}

QString comparisonKey(const QString& dn)
{
    const std::optional<ldap::DnPtr> parsedDn = parse(dn);
    if (!parsedDn || !*parsedDn)
        return {};
    const ldap::DnPtr& parsed = *parsedDn;
    QString key;
    key.reserve(dn.size() + 32);
    for (LDAPRDN* rdn = parsed.get(); *rdn; ++rdn) {
        if (!(*rdn)[1]) {
            appendAva(key, *(*rdn)[0]);
        } else {
            // The parts of a multi-valued RDN in any order name the same entry.
            QStringList parts;
            for (LDAPAVA** ava = *rdn; *ava; ++ava) {
                QString part;
                appendAva(part, **ava);
                parts.append(part);
            }
            parts.sort();
            key.append(parts.join(u'+'));
        }
        key.append(u'/');
    }
    return key;
}

QString domainPart(const QString& dn)
{
    const std::optional<ldap::DnPtr> parsedDn = parse(dn);
    if (!parsedDn || !*parsedDn)
        return {};
    const ldap::DnPtr& parsed = *parsedDn;
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

QString rootPath(const QString& domain)
{
    QString path;
    for (const QString& label : domain.split(u'.', Qt::KeepEmptyParts))
        path += QStringLiteral("DC=") + label + u',';
    path.chop(1);
    return QStringLiteral("LDAP://") + path;
}

} // namespace directory::dn

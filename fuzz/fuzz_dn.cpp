// The DN helpers over any text, and against libldap's own DN parser: for a DN in the form a
// server writes it (what libldap's dn2str gives back), firstRdn must cut where libldap's first
// RDN ends and rdnValue must give libldap's value of the first attribute.

#include "FuzzSupport.h"

#include "directory/Dn.h"

#include <QStringList>

#include <ldap.h>

namespace fuzz_dn {

namespace dn = directory::dn;

struct ParsedDn {
    explicit ParsedDn(const QByteArray& text)
    {
        ok = !text.contains('\0') && ldap_str2dn(text.constData(), &value, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS;
    }
    ~ParsedDn()
    {
        if (value)
            ldap_dnfree(value);
    }
    ParsedDn(const ParsedDn&) = delete;
    ParsedDn& operator=(const ParsedDn&) = delete;

    int rdnCount() const
    {
        int n = 0;
        while (value && value[n])
            ++n;
        return n;
    }

    bool ok = false;
    LDAPDN value = nullptr;
};

// The RDNs as firstRdn finds them, one after the other.
QStringList splitByFirstRdn(QString text)
{
    QStringList rdns;
    for (;;) {
        const QString rdn = dn::firstRdn(text);
        FUZZ_CHECK(text.startsWith(rdn), fuzzing::show(text));
        rdns.append(rdn);
        if (rdn.size() == text.size())
            return rdns;
        const QChar separator = text.at(rdn.size());
        FUZZ_CHECK(separator == u',' || separator == u';', fuzzing::show(text));
        text = text.mid(rdn.size() + 1);
    }
}

// Any text: no crash, and the helpers' own promises.
void checkAnyText(const QString& text)
{
    const QString first = dn::firstRdn(text);
    FUZZ_CHECK(text.startsWith(first), fuzzing::show(text));
    dn::rdnValue(first);
    dn::rdnValue(text);
    const bool valid = dn::isValid(text);
    const QByteArray utf8 = text.toUtf8();
    FUZZ_CHECK(valid == ParsedDn(utf8).ok, fuzzing::show(text));
    if (text.size() < 600)
        splitByFirstRdn(text);
}

// The DN as Active Directory writes one: specials escaped with a backslash before them
// ("CN=Yamada\\, Jiro"), control characters as two hex digits.
QByteArray activeDirectoryForm(LDAPDN parsed)
{
    QByteArray text;
    for (int r = 0; parsed[r]; ++r) {
        if (r > 0)
            text += ',';
        for (int a = 0; parsed[r][a]; ++a) {
            const LDAPAVA* ava = parsed[r][a];
            if (a > 0)
                text += '+';
            text += QByteArray(ava->la_attr.bv_val, qsizetype(ava->la_attr.bv_len)) + '=';
            const QByteArray value(ava->la_value.bv_val, qsizetype(ava->la_value.bv_len));
            for (qsizetype i = 0; i < value.size(); ++i) {
                const char c = value.at(i);
                const bool edge = (i == 0 && (c == ' ' || c == '#')) || (i == value.size() - 1 && c == ' ');
                if (edge || QByteArrayView(",+\"\\<>;=").contains(c))
                    text += '\\' + QByteArray(1, c);
                else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                    text += '\\' + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
                else
                    text += c;
            }
        }
    }
    return text;
}

void checkWrittenForm(const QByteArray& canonical);

// A DN as libldap and as Active Directory write it: the helpers must agree with libldap's
// reading of it.
void checkServerForm(const QByteArray& utf8)
{
    const ParsedDn parsed(utf8);
    if (!parsed.ok || parsed.rdnCount() == 0)
        return;
    char* written = nullptr;
    if (ldap_dn2str(parsed.value, &written, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS || !written)
        return;
    const QByteArray libldapForm(written);
    ldap_memfree(written);
    checkWrittenForm(libldapForm);
    bool binary = false;
    for (int r = 0; parsed.value[r]; ++r) {
        for (int a = 0; parsed.value[r][a]; ++a)
            binary = binary || (parsed.value[r][a]->la_flags & LDAP_AVA_BINARY);
    }
    if (!binary)
        checkWrittenForm(activeDirectoryForm(parsed.value));
}

void checkWrittenForm(const QByteArray& canonical)
{
    const ParsedDn reparsed(canonical);
    if (!reparsed.ok)
        return;
    const QString text = QString::fromUtf8(canonical);
    // Text that is not UTF-8 does not survive QString; a server's DNs are UTF-8.
    if (text.toUtf8() != canonical)
        return;

    FUZZ_CHECK(dn::isValid(text), fuzzing::show(canonical));
    const QStringList rdns = splitByFirstRdn(text);
    FUZZ_CHECK(rdns.size() == reparsed.rdnCount(),
        fuzzing::show(canonical) + " has " + std::to_string(reparsed.rdnCount()) + " RDNs, firstRdn finds "
            + std::to_string(rdns.size()));

    const LDAPAVA* ava = reparsed.value[0][0];
    if (ava->la_flags & LDAP_AVA_BINARY)
        return;
    const QString expected = QString::fromUtf8(QByteArray(ava->la_value.bv_val, qsizetype(ava->la_value.bv_len)));
    const QString value = dn::rdnValue(rdns.constFirst());
    FUZZ_CHECK(value == expected,
        fuzzing::show(canonical) + ": rdnValue " + fuzzing::show(value.toUtf8()) + ", libldap "
            + fuzzing::show(expected.toUtf8()));
}

} // namespace fuzz_dn

FUZZ_TARGET(dn)
{
    fuzzing::Input input(data, size);
    const fuzzing::TextInput in = fuzzing::textInput(input);
    fuzz_dn::checkAnyText(in.text);
    fuzz_dn::checkServerForm(in.utf16 ? in.text.toUtf8() : in.bytes);
    return 0;
}

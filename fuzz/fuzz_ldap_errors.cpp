// The error-text builder over any result code and any diagnostic a server may send.

#include "FuzzSupport.h"

#include "directory/AdBindSubcodes.h"
#include "directory/LdapErrors.h"

namespace fuzz_ldap_errors {

void check(int code, const QString& diagnostic)
{
    const directory::DirectoryError error = directory::errorFromLdap(code, diagnostic);
    const std::string what = std::to_string(code) + " " + fuzzing::show(diagnostic.toUtf8());
    // Every directory failure reads negative, as the platform's HRESULTs do.
    FUZZ_CHECK(error.number() < 0, what);
    FUZZ_CHECK(!error.description().isEmpty(), what);
    FUZZ_CHECK(
        error.reportText() == QString::number(error.number()) + QStringLiteral("\r\n") + error.description(), what);
    // Cutting a long diagnostic must not leave half a character behind.
    if (fuzzing::wellFormedUtf16(diagnostic))
        FUZZ_CHECK(fuzzing::wellFormedUtf16(error.description()), what);
    const QString trimmed = diagnostic.trimmed();
    if (!trimmed.isEmpty())
        FUZZ_CHECK(error.description().contains(trimmed.left(400)), what);
    FUZZ_CHECK(error.description().size() <= 1000, what);

    const QString subcode = directory::adBindSubcodeText(diagnostic);
    if (!subcode.isEmpty())
        FUZZ_CHECK(error.description().contains(subcode), what);
    if (!diagnostic.contains(QStringLiteral("data "), Qt::CaseSensitive))
        FUZZ_CHECK(subcode.isEmpty(), what);
}

} // namespace fuzz_ldap_errors

FUZZ_TARGET(ldap_errors)
{
    fuzzing::Input input(data, size);
    const std::uint8_t mode = input.byte();
    // Mostly the codes libldap and servers give (-20..107), sometimes any 32-bit number.
    const int code = (mode & 0x80) ? int(input.u32()) : int(input.byte() % 128) - 20;
    const QByteArray bytes = input.rest();
    fuzz_ldap_errors::check(code, (mode & 1) ? fuzzing::utf16From(bytes) : QString::fromUtf8(bytes));
    return 0;
}

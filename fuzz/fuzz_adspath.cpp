// AdsPath::parse over any text: a path either fails with the bad-path error or comes back
// exactly as written by toString(). And any text a server sends as a DN, put on a server (or
// none), reads back as that server and that text: never as another server.

#include "FuzzSupport.h"

#include "directory/AdsPath.h"
#include "directory/DirectoryError.h"

namespace fuzz_adspath {

using directory::AdsPath;
using directory::DirectoryError;

void check(const QString& text)
{
    try {
        const AdsPath path = AdsPath::parse(text);
        FUZZ_CHECK(path.toString() == text, fuzzing::show(text) + " came back as " + fuzzing::show(path.toString()));
        FUZZ_CHECK(!path.server().isEmpty() || !path.dn().isEmpty(), fuzzing::show(text));
        FUZZ_CHECK(path.isServerless() == path.server().isEmpty(), fuzzing::show(text));
        // A server name never holds an '=' or a '/': those belong to the DN.
        FUZZ_CHECK(!path.server().contains(u'=') && !path.server().contains(u'/'), fuzzing::show(text));
        const AdsPath child = path.withDn(QStringLiteral("CN=x"));
        FUZZ_CHECK(child.server() == path.server(), fuzzing::show(text));
    } catch (const DirectoryError& error) {
        FUZZ_CHECK(error.number() == directory::hresult::BadPathName, fuzzing::show(text));
        FUZZ_CHECK(!error.description().isEmpty(), fuzzing::show(text));
    }
}

void checkServerText(const QString& dn)
{
    if (dn.isEmpty())
        return;
    for (const QString& server : { QString(), QStringLiteral("dc1.example.test:636"), QStringLiteral("[::1]") }) {
        const QString written = AdsPath::forDn(dn, server).toString();
        try {
            const AdsPath path = AdsPath::parse(written);
            FUZZ_CHECK(path.server() == server && path.dn() == dn,
                fuzzing::show(dn) + " on " + fuzzing::show(server) + " read back as " + fuzzing::show(written));
        } catch (const DirectoryError&) {
            FUZZ_CHECK(false, fuzzing::show(dn) + " on " + fuzzing::show(server) + " is no path");
        }
    }
}

} // namespace fuzz_adspath

FUZZ_TARGET(adspath)
{
    fuzzing::Input input(data, size);
    const QString text = fuzzing::textInput(input).text;
    fuzz_adspath::check(text);
    fuzz_adspath::check(QStringLiteral("LDAP://") + text);
    fuzz_adspath::checkServerText(text);
    return 0;
}

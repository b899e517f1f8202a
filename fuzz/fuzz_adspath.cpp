// AdsPath::parse over any text: a path either fails with the bad-path error or comes back
// exactly as written by toString().

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

} // namespace fuzz_adspath

FUZZ_TARGET(adspath)
{
    fuzzing::Input input(data, size);
    const QString text = fuzzing::textInput(input).text;
    fuzz_adspath::check(text);
    fuzz_adspath::check(QStringLiteral("LDAP://") + text);
    return 0;
}

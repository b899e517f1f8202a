// The root path built from whatever is typed as the domain: exactly "LDAP://", then "DC=" and
// each label, joined by ",", and a path whose DN is what was typed and nothing else.

#include "FuzzSupport.h"

#include "directory/AdsPath.h"
#include "directory/DirectoryError.h"
#include "directory/Dn.h"

namespace fuzz_root_path {

void check(const QString& domain)
{
    const QString path = directory::dn::rootPath(domain);
    QString expectedDn = QStringLiteral("DC=") + domain;
    expectedDn.replace(u'.', QStringLiteral(",DC="));
    FUZZ_CHECK(path == QStringLiteral("LDAP://") + expectedDn, fuzzing::show(domain) + " gave " + fuzzing::show(path));
    FUZZ_CHECK(path.count(QStringLiteral("DC=")) >= domain.count(u'.') + 1, fuzzing::show(domain));

    // What the bind is asked for: always a serverless path, its DN the typed text in the frame.
    try {
        const directory::AdsPath parsed = directory::AdsPath::parse(path);
        FUZZ_CHECK(parsed.isServerless(), fuzzing::show(domain) + " named a server");
        FUZZ_CHECK(parsed.dn() == expectedDn, fuzzing::show(domain));
    } catch (const directory::DirectoryError&) {
        fuzzing::fail("the root path of " + fuzzing::show(domain) + " is no path");
    }
    directory::dn::isValid(expectedDn);
}

} // namespace fuzz_root_path

FUZZ_TARGET(root_path)
{
    fuzzing::Input input(data, size);
    fuzz_root_path::check(fuzzing::textInput(input).text);
    return 0;
}

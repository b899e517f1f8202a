#include "details/GroupReads.h"

namespace details {

std::vector<directory::ReadResult> memberNames(const directory::DirObject& group)
{
    directory::Directory& directory = directory::currentDirectory();
    QStringList paths;
    std::optional<directory::DirectoryError> stopped;
    try {
        paths = directory.members(group);
    } catch (const directory::IncompleteMembers& incomplete) {
        // The members read before stay, and the error comes after them.
        paths = incomplete.paths();
        stopped = incomplete;
    }
    std::vector<directory::ReadResult> names;
    if (!paths.isEmpty())
        names = directory.readRelated(paths, QStringLiteral("cn"), { directory::Related::Kind::MembersOf, group.dn() });
    if (stopped)
        names.push_back({ {}, stopped });
    return names;
}

std::vector<directory::ReadResult> membershipNames(const directory::DirObject& object)
{
    const directory::AttrValue memberOf = object.get(QStringLiteral("MemberOf"));
    if (memberOf.isEmpty())
        return {};
    // A single value and an array go the same way: one bind per value, in value order. The
    // values are DNs; the path is always serverless, whatever server bound `object`, and a value
    // that is no DN never reads as a server name.
    QStringList paths;
    for (const QString& dn : memberOf.toStringList())
        paths.append(directory::AdsPath::forDn(dn).toString());
    return directory::currentDirectory().readRelated(
        paths, QStringLiteral("cn"), { directory::Related::Kind::GroupsWithMember, object.dn() });
}

} // namespace details

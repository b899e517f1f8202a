#include "details/GroupReads.h"

namespace details {

std::vector<directory::ReadResult> memberNames(const directory::DirObject& group)
{
    directory::Directory& directory = directory::currentDirectory();
    const QStringList paths = directory.members(group);
    if (paths.isEmpty())
        return {};
    return directory.readRelated(paths, QStringLiteral("cn"), { directory::Related::Kind::MembersOf, group.dn() });
}

std::vector<directory::ReadResult> membershipNames(const directory::DirObject& object)
{
    const directory::AttrValue memberOf = object.get(QStringLiteral("MemberOf"));
    if (memberOf.isEmpty())
        return {};
    // A single value and an array go the same way: one bind per value, in value order. The
    // values are DNs; the prefix is always the serverless one, whatever server bound `object`.
    QStringList paths;
    for (const QString& dn : memberOf.toStringList())
        paths.append(QStringLiteral("LDAP://") + dn);
    return directory::currentDirectory().readRelated(
        paths, QStringLiteral("cn"), { directory::Related::Kind::GroupsWithMember, object.dn() });
}

} // namespace details

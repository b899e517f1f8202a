#pragma once

#include "directory/DirObject.h"
#include "directory/DirectoryError.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace directory {

// One entry of a read of many objects: the value, or the error that binding it gave.
struct ReadResult {
    AttrValue value;
    std::optional<DirectoryError> error;
};

// Members that stopped at what the server sent (ranges past their budget, a gap): the error, and
// the paths of the members read before it.
class IncompleteMembers : public DirectoryError {
public:
    IncompleteMembers(const DirectoryError& error, QStringList paths)
        : DirectoryError(error)
        , paths_(std::move(paths))
    { }
    const QStringList& paths() const { return paths_; }

private:
    QStringList paths_;
};

// What the objects of a read of many have in common: they are the members of one group, or the
// groups that have one object as a member.
struct Related {
    enum class Kind { MembersOf, GroupsWithMember };
    Kind kind;
    QString dn; // the group, or the member
};

// The directory operations the program relies on. Every failure throws DirectoryError.
// LdapDirectory talks to a real server; tests use an in-memory directory with the same interface.
// Every operation but readRelated is pure: a directory that wraps another must pass each one on,
// or not compile. readRelated is readEach unless a directory has a quicker way to the same results.
class Directory {
public:
    using Batch = std::vector<DirObject>;

    virtual ~Directory() = default;

    // Bind by path, as the user who runs the program (no name, no password).
    virtual DirObject bind(const QString& adsPath) = 0;
    // The direct children of `container` whose objectClass is one of `classFilter` (all when empty),
    // in the order the server returns them. `onBatch` gets them a page at a time; a failure after
    // some pages throws, and the pages already delivered stay delivered.
    virtual void enumerate(
        const DirObject& container, const QStringList& classFilter, const std::function<void(const Batch&)>& onBatch)
        = 0;
    // IADsGroup::Members: the ADsPaths of the group's members, in directory order, complete for big
    // groups (Active Directory ranged retrieval). Throws IncompleteMembers when the server's
    // ranges stop it halfway.
    virtual QStringList members(const DirObject& group) = 0;
    // Binds each path and reads one property from it; one result per path, in the given order.
    virtual std::vector<ReadResult> readEach(const QStringList& adsPaths, const QString& propertyName) = 0;
    // readEach of paths that share `related`: the same results, but a directory may take the
    // objects one search of that relation finds from it and read only the others one by one.
    virtual std::vector<ReadResult> readRelated(
        const QStringList& adsPaths, const QString& propertyName, const Related& related);
    // IADsOpenDSObject::OpenDSObject: a bind with explicit credentials on a connection of its own.
    virtual DirObject openDSObject(const QString& adsPath, const QString& user, const QString& password) = 0;
};

// While one lives, the LDAP directory binds only servers on this machine (an ldapi:// socket or a
// loopback address), whatever ldap.conf or DNS names: a bind whose server lies elsewhere fails as
// with an unreachable server, before anything connects. For binds with fixed values that must
// never reach a real domain controller.
class ThisMachineOnly {
public:
    ThisMachineOnly();
    ~ThisMachineOnly();
    ThisMachineOnly(const ThisMachineOnly&) = delete;
    ThisMachineOnly& operator=(const ThisMachineOnly&) = delete;

    static bool active();
};

// The directory the program uses. Defaults to the LDAP directory; tests may put another in place.
Directory& currentDirectory();
// Replaces the directory; returns the previous one. Passing nullptr restores the LDAP directory.
std::unique_ptr<Directory> setCurrentDirectory(std::unique_ptr<Directory> directory);

} // namespace directory

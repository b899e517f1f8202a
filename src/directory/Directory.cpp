#include "directory/Directory.h"

#include "directory/LdapDirectory.h"

namespace directory {

namespace {
int thisMachineOnlyScopes = 0;

std::unique_ptr<Directory>& current()
{
    static std::unique_ptr<Directory> directory;
    return directory;
}
} // namespace

ThisMachineOnly::ThisMachineOnly()
{
    ++thisMachineOnlyScopes;
}

ThisMachineOnly::~ThisMachineOnly()
{
    --thisMachineOnlyScopes;
}

std::vector<ReadResult> Directory::readRelated(
    const QStringList& adsPaths, const QString& propertyName, const Related& /*related*/)
{
    return readEach(adsPaths, propertyName);
}

bool ThisMachineOnly::active()
{
    return thisMachineOnlyScopes > 0;
}

Directory& currentDirectory()
{
    if (!current())
        current() = std::make_unique<LdapDirectory>();
    return *current();
}

std::unique_ptr<Directory> setCurrentDirectory(std::unique_ptr<Directory> directory)
{
    return std::exchange(current(), std::move(directory));
}

} // namespace directory

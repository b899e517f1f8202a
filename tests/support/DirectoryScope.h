#pragma once

#include "directory/Directory.h"

#include <memory>

// Puts a directory of the test's own making in place for as long as it lives, and the one that
// was there back afterwards. `directory` stays the test's handle on it.
template <typename D = directory::Directory> class DirectoryScope {
public:
    explicit DirectoryScope(std::unique_ptr<D> owned = std::make_unique<D>())
        : directory(owned.get())
        , previous_(directory::setCurrentDirectory(std::move(owned)))
    { }
    ~DirectoryScope() { directory::setCurrentDirectory(std::move(previous_)); }
    Q_DISABLE_COPY_MOVE(DirectoryScope)

    // The directory that was in place before, for one that stands in front of it.
    directory::Directory* previous() const { return previous_.get(); }

    D* const directory;

private:
    std::unique_ptr<directory::Directory> previous_;
};

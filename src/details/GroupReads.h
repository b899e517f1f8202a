#pragma once

#include "directory/Directory.h"

#include <vector>

namespace details {

// The "cn" of every member of `group`, one entry per member in directory order, each with its
// name or the error that binding the member gave. A failure of Members itself throws; one that
// stopped it halfway gives the members read before and its error last.
std::vector<directory::ReadResult> memberNames(const directory::DirObject& group);

// The "cn" of every group in the object's "MemberOf", one entry per value in value order
// (none when it is empty), each bound by its serverless path.
std::vector<directory::ReadResult> membershipNames(const directory::DirObject& object);

} // namespace details

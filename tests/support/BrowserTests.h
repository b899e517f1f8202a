#pragma once

// Helpers of the browser tests, in one include: what the window shows (ListRows.h), what a person
// does to it (UserActions.h), what the server holds (ServerListing.h), a directory that counts its
// calls (CountingDirectory.h), and the message boxes recorded.

#include "CountingDirectory.h"
#include "ListRows.h"
#include "MessageRecorder.h"
#include "ServerListing.h"
#include "TestFiles.h"
#include "UserActions.h"
#include "platform/MessageBox.h"

namespace browsertests {
using testfiles::readBytes;
} // namespace browsertests

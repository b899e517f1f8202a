#pragma once

// The Windows functions the program calls (library "kernel32"): here the stand-ins of
// src/platform, under their original names.
#include "platform/PrivateProfile.h"

using platform::GetPrivateProfileStringA;
using platform::WritePrivateProfileStringA;

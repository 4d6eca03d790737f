// What base needs of the operating system, written once for Windows (win32/) and once for
// POSIX systems (posix/): pushing a file to the disk, locking it, the local time.
#pragma once

#include <cstdio>
#include <ctime>

namespace keyloom::base {

// Flushes, pushes the bytes to the disk (before a rename makes them the file) and closes.
bool SyncAndClose(std::FILE* file);

// The lock of a LockedFile: exclusive for writers, shared for readers; waits for it.
bool LockWhole(std::FILE* file, bool exclusive);

// The local time of `when`; false when the system cannot tell it.
bool LocalTime(std::time_t when, std::tm* local);

}  // namespace keyloom::base

// What the profile functions need of the file system, one version per system: reading a file
// whole, finding the file a write replaces, replacing it atomically, and the lock that makes
// a read-change-write exclusive between processes. Paths are UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace platform::profile_io {

// No real profile file comes near this; a bigger one reads as absent and is never rewritten,
// so that a giant or sparse file costs neither the memory nor the seconds to read it.
inline constexpr size_t kMaxFileBytes = size_t{1} << 20;

enum class ReadResult { kOk, kMissing, kFailed };

// Reads a regular file of at most kMaxFileBytes whole. A missing file is told apart from one
// that cannot be read (a directory, a device, a pipe, no permission, too big), because a write
// may create the first but must never replace the second.
ReadResult ReadWhole(const std::string& path, std::string& out);

// The file a write of path changes: symbolic links followed to their end, also when that end
// does not exist yet (a dangling link is written through, creating its target). Empty when the
// links go round in a loop.
std::string WriteTarget(const std::string& path);

// Whether an existing file may be replaced: a read-only file stays as it is, even for a user
// whom the system would let replace it.
bool MayReplace(const std::string& path);

// Replaces the file at path with data: a temporary file beside it, flushed to the disk, then
// renamed over the old one, whose permissions it keeps. Temporary files that earlier writers
// of this file left behind when they were killed are removed first. On failure the old file
// is as it was and no temporary file is left.
bool Replace(const std::string& path, const std::string& data);

// Takes the exclusive lock of the folder that holds path, for this thread, until Release with
// what Acquire returned: other processes' writes (and updates under their own lock) wait for it.
// Nested holds of one folder in one thread count up. A lock that cannot be had within a few
// seconds (its holder stopped in the middle) is given up, and the caller goes on without it
// rather than hang.
std::string Acquire(const std::string& path);
void Release(const std::string& key);

}  // namespace platform::profile_io

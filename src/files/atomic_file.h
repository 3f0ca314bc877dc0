#pragma once
// Files replaced in one step: a reader (or a crash) sees the old file or the
// complete new one, never a half-written file.

#include <functional>
#include <string>
#include <string_view>

namespace kbx::files {

// Writes `target` through `write`, which fills the hidden temporary file it is
// given (".<name>.kbx-XXXXXX" in the target's folder). The temporary file is
// synced, given the target's permission bits (a new file: 0666 less the
// umask) and renamed over the target; the folder is synced last. On failure
// the temporary file is removed, the target stays as it was, and the
// run-time error names the target. Error 76 when the folder does not exist,
// 75 when the target is a folder, 52 for an empty or over-long name. This
// user's leftover temporaries in the folder older than a day are removed.
// Errors name `nameInErrors` when given (a file made on the way to it).
void replaceFile(const std::string& target, const std::function<void(const std::string& temporary)>& write,
                 const std::string& nameInErrors = {});

// replaceFile with the whole content given.
void replaceFileWith(const std::string& target, std::string_view content);

// Moves a finished file over `target` in one step, under the same rules; the
// finished file must be on the target's file system.
void moveIntoPlace(const std::string& finished, const std::string& target);

// Writes all of `data` to `fd`, retrying after interruptions. False (errno
// set) when the system refuses.
bool writeAll(int fd, std::string_view data);

}  // namespace kbx::files

#pragma once
// SplitPath: the directory part and the file-name part of a path, split at
// the last "/" and told apart by a dot after it.

#include <string>

namespace kbx::dialog {

struct PathParts {
    std::string directory;  // up to and including the last "/", or the whole path
    std::string fileName;   // after the last "/", only when it holds a dot
};

// b = last "/", d = last ".":
//   "/" with a dot after it  -> directory up to the "/", file name after it;
//   "/" without a dot after  -> the whole path is the directory;
//   no "/" but a dot         -> the whole path is the file name;
//   neither                  -> both empty.
PathParts SplitPath(const std::string& path);

}  // namespace kbx::dialog

// The schematic files beside an open one: which files count, their order, and the list to step
// through from the open file forwards or backwards.
#pragma once

#include <filesystem>
#include <vector>

namespace schematic {

// The other schematic files of the folder of `current`, in the order in which to try them:
// direction > 0 forwards, < 0 backwards, 0 none. File-system errors never escape.
std::vector<std::filesystem::path> siblingFiles(const std::filesystem::path& current, int direction);

// True for a file whose extension openDocument has a reader for (.sch, .schdoc, .schdot and .sbk
// in any ASCII case).
bool isSchematicFile(const std::filesystem::path& path);

// Orders by file name as UTF-8, ASCII letters case-insensitively, exact bytes breaking ties.
bool utf8PathLess(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace schematic

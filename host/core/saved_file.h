// Files the host writes itself (a backup's manifest, the exported tables):
// saved whole or not at all, as the library saves its own files. The bytes go
// to a temporary file created exclusively in the same folder, are flushed to
// the disk and renamed over the target, so the target is at every moment the
// old file or the new one.
#pragma once

#include <string>

namespace tavhost::core {

// false with errno set when any step fails (the temporary file is removed).
bool save_whole(const std::string& path, const std::string& bytes);

// The whole file; false when it cannot be read.
bool read_whole(const std::string& path, std::string& bytes);

}  // namespace tavhost::core

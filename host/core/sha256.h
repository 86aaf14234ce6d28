// SHA-256 of a file's bytes, for the checksums of a backup's manifest.
#pragma once

#include <string>

namespace tavhost::core {

// The digest of `bytes` as 64 lowercase hexadecimal digits.
std::string sha256_hex(const std::string& bytes);

// The digest of a file's contents; false when it cannot be read.
bool sha256_file(const std::string& path, std::string& hex);

}  // namespace tavhost::core

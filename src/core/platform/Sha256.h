#pragma once

#include <string>
#include <string_view>

namespace vorn::Sha256 {

/// The SHA-256 digest of the bytes, as 64 lowercase hex digits.
std::string hex(std::string_view bytes);

} // namespace vorn::Sha256

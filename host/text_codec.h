// Conversion between UTF-8 (files, terminals) and code page 932, the
// encoding of every text that crosses the module boundary.
#pragma once

#include <string>
#include <string_view>

namespace lensfall::host {

// Both throw HostError when the text cannot be converted; the UTF-8 one
// names the text.
std::string cp932ToUtf8(std::string_view cp932);
std::string utf8ToCp932(std::string_view utf8);

}  // namespace lensfall::host

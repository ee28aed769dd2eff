#include "host/text_codec.h"

#include <fmt/format.h>
#include <iconv.h>

#include <cerrno>
#include <memory>

#include "host/host_error.h"

namespace lensfall::host {

namespace {

std::string convert(std::string_view text, const char *from, const char *to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw HostError(fmt::format("cannot convert text from {} to {}", from, to));
  }
  std::unique_ptr<void, int (*)(iconv_t)> closer(cd, iconv_close);
  std::string out(text.size() * 4 + 4, '\0');
  char *in = const_cast<char *>(text.data());
  size_t inLeft = text.size();
  char *outPtr = out.data();
  size_t outLeft = out.size();
  if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
      iconv(cd, nullptr, nullptr, &outPtr, &outLeft) ==
          static_cast<size_t>(-1)) {
    throw HostError(
        fmt::format("text is not valid {} or has no {} form (byte {} of {})",
                    from, to, text.size() - inLeft + 1, text.size()));
  }
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace

std::string cp932ToUtf8(std::string_view cp932) {
  return convert(cp932, "CP932", "UTF-8");
}

std::string utf8ToCp932(std::string_view utf8) {
  try {
    return convert(utf8, "UTF-8", "CP932");
  } catch (const HostError &) {
    throw HostError(fmt::format(
        "\"{}\" has no form in code page 932, the host's text encoding", utf8));
  }
}

}  // namespace lensfall::host

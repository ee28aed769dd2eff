// Every text the module hands the host is code page 932 that reads as the
// intended Japanese.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "tests/expected_texts.h"

namespace lensfall::testing {
namespace {

std::string toUtf8(const char *cp932) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string in(cp932);
  std::string out(in.size() * 4 + 4, '\0');
  char *inPtr = in.data();
  char *outPtr = out.data();
  size_t inLeft = in.size();
  size_t outLeft = out.size();
  const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  EXPECT_NE(result, static_cast<size_t>(-1)) << "invalid CP932: " << cp932;
  out.resize(out.size() - outLeft);
  return out;
}

TEST(ModuleTexts, AreCodePage932OfTheJapaneseTexts) {
  for (const ExpectedText &text : kExpectedTexts) {
    EXPECT_EQ(toUtf8(text.cp932), text.utf8);
    EXPECT_NE(std::string(text.cp932), text.utf8) << "left in UTF-8";
  }
}

}  // namespace
}  // namespace lensfall::testing

// Runs the cases of display.txt: each function of Display on the case's
// bytes.
#include "Display.h"

#include <gtest/gtest.h>

#include <string>

#include "DataCases.h"
#include "Escapes.h"

namespace {

std::string outcome(const std::string& function, const std::string& in) {
  if (function == "text") return Display::text(in, 8);
  if (function == "escape")
    return Display::text(in, 8, Display::Lookalikes::kEscape);
  if (function == "width") return std::to_string(Display::width(in));
  const char* what = Display::lookalike(in);
  return what != nullptr ? what : "none";
}

TEST(Display, Cases) {
  EXPECT_GT(runCases(EMP_DISPLAY_CASES,
                     [](const std::string& c) {
                       const auto open = c.find('"'), close = c.rfind('"');
                       return outcome(
                           c.substr(0, open - 1),
                           unescape(c.substr(open + 1, close - open - 1)));
                     }),
            0);
}

}  // namespace

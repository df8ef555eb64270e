// Runs the cases of display.txt: each function of Display on the case's
// bytes.
#include "Display.h"

#include <gtest/gtest.h>

#include <string>

#include "DataCases.h"
#include "Escapes.h"

namespace {

using L = Display::Lookalikes;

std::string outcome(const std::string& c) {
  const auto open = c.find('"'), close = c.rfind('"');
  const std::string function = c.substr(0, open - 1);
  const std::string in = unescape(c.substr(open + 1, close - open - 1));
  if (function == "width") return std::to_string(Display::width(in));
  if (function != "lookalike")
    return Display::text(in, 8, function == "text" ? L::kShow : L::kEscape);
  const char* what = Display::lookalike(in);
  return what != nullptr ? what : "none";
}

TEST(Display, Cases) { EXPECT_GT(runCases(EMP_DISPLAY_CASES, outcome), 0); }

}  // namespace

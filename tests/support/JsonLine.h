// JsonLine: one line of JSON Lines as the report's writer writes it, read
// for its tests: an object, flattened to its members that are no object,
// each under its path ("after.name"): a string decoded, a number as
// written, null as empty text. Throws std::runtime_error for anything
// else: trailing text, white space, arrays, true and false, escapes other
// than \", \\ and \u00XX (a line end between a run's diagnostics), bytes
// that are not UTF-8
// and any character a terminal would act on (see Display) left raw.
#ifndef EMPUPDATE_TESTS_SUPPORT_JSONLINE_H_
#define EMPUPDATE_TESTS_SUPPORT_JSONLINE_H_

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

#include "Display.h"

class JsonLine {
 public:
  explicit JsonLine(std::string_view text) : s_(text) {
    object("");
    if (at_ != s_.size()) fail();
  }

  const std::string& operator[](const std::string& path) const {
    if (!members_.count(path)) throw std::runtime_error("no " + path);
    return members_.at(path);
  }

 private:
  [[noreturn]] void fail() const {
    throw std::runtime_error("not JSON at " + std::to_string(at_));
  }
  bool take(char c) {
    const bool is = at_ < s_.size() && s_[at_] == c;
    at_ += is;
    return is;
  }

  void object(const std::string& path) {
    if (!take('{')) fail();
    do {
      const std::string key = path + string();
      if (!take(':')) fail();
      if (s_.substr(at_, 1) == "{") {
        object(key + ".");
      } else if (s_.substr(at_, 1) == "\"") {
        members_[key] = string();
      } else if (s_.substr(at_, 4) == "null") {
        at_ += 4;
        members_[key] = "";
      } else {  // an integer
        const std::size_t start = at_;
        take('-');
        const std::size_t end = s_.find_first_not_of("0123456789", at_);
        if (end == at_ || end == s_.npos) fail();
        at_ = end;
        members_[key] = s_.substr(start, end - start);
      }
    } while (take(','));
    if (!take('}')) fail();
  }

  std::string string() {
    if (!take('"')) fail();
    std::string out;
    while (!take('"')) {
      if (take('\\')) {
        const std::string_view escape = s_.substr(at_, 5);
        if (!escape.starts_with("u000") || escape.size() < 5) {
          if (escape.substr(0, 1) != "\"" && escape.substr(0, 1) != "\\")
            fail();
        } else {
          out += static_cast<char>(
              std::stoi(std::string(escape.substr(4)), nullptr, 16));
          at_ += 5;
          continue;
        }
      }
      const std::size_t n =
          at_ < s_.size() ? Display::characterLength(s_.substr(at_)) : 0;
      if (n == 0 || Display::hidden(s_.substr(at_, n)) >= 0) fail();
      out += s_.substr(at_, n);
      at_ += n;
    }
    return out;
  }

  std::string_view s_;
  std::size_t at_ = 0;
  std::map<std::string, std::string> members_;
};

#endif  // EMPUPDATE_TESTS_SUPPORT_JSONLINE_H_

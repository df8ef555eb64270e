// Escapes: the C-style escapes the test data files use for bytes that are
// not printable: \n \r \t \v \f \0 \\ \" and \xNN.
#ifndef EMPUPDATE_TESTS_SUPPORT_ESCAPES_H_
#define EMPUPDATE_TESTS_SUPPORT_ESCAPES_H_

#include <cstdio>
#include <string>

// The bytes that `s` stands for.
inline std::string unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\' && i + 1 < s.size()) {
      switch (c = s[++i]) {
        case 'n':
          c = '\n';
          break;
        case 'r':
          c = '\r';
          break;
        case 't':
          c = '\t';
          break;
        case 'v':
          c = '\v';
          break;
        case 'f':
          c = '\f';
          break;
        case '0':
          c = '\0';
          break;
        case 'x':
          c = static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
          i += 2;
      }
    }
    out += c;
  }
  return out;
}

// `s` with every byte that is not printable ASCII, a quote or a backslash
// escaped.
inline std::string escape(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c == '\n' || c == '\r' || c == '\0' || c == '"' || c == '\\') {
      out += '\\';
      out += c == '\n' ? 'n' : c == '\r' ? 'r' : c == '\0' ? '0' : char(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

#endif  // EMPUPDATE_TESTS_SUPPORT_ESCAPES_H_

// Escapes: the C-style escapes the test data files use for bytes that are
// not printable: \n \r \t \v \f \0 \\ \" and \xNN.
#ifndef EMPUPDATE_TESTS_SUPPORT_ESCAPES_H_
#define EMPUPDATE_TESTS_SUPPORT_ESCAPES_H_

#include <cstdio>
#include <string>

// The bytes that `s` stands for.
inline std::string unescape(const std::string& s) {
  const std::string letters = "nrtvf0", bytes("\n\r\t\v\f\0", 6);
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
    } else if (s[++i] == 'x') {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      const std::size_t k = letters.find(s[i]);
      out += k == std::string::npos ? s[i] : bytes[k];
    }
  }
  return out;
}

// `s` with every byte that is not printable ASCII, a quote or a backslash
// escaped: \n \r \0 \" \\ or \xNN.
inline std::string escape(const std::string& s) {
  const std::string bytes("\n\r\0\"\\", 5), letters = "nr0\"\\";
  std::string out;
  for (const char c : s) {
    const std::size_t k = bytes.find(c);
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
    out += k != std::string::npos  ? std::string{'\\', letters[k]}
           : c >= 0x20 && c < 0x7F ? std::string(1, c)
                                   : std::string(hex);
  }
  return out;
}

#endif  // EMPUPDATE_TESTS_SUPPORT_ESCAPES_H_

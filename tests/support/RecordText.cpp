#include "RecordText.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "Employee.h"
#include "Escapes.h"

namespace record_text {

namespace {

// The whole name field less its trailing NULs.
std::string escapeName(const char* field) {
  std::size_t n = Employee::kNameBytes;
  while (n > 0 && field[n - 1] == '\0') --n;
  return escape(std::string(field, n));
}

// The quoted name at the start of `in`, its escapes resolved.
std::string unescapeName(std::istream& in) {
  char c;
  in >> c;
  if (c != '"') throw std::runtime_error("name must be quoted");
  std::string text;
  while (in.get(c) && c != '"') {
    text += c;
    if (c == '\\' && in.get(c)) text += c;
  }
  return unescape(text);
}

}  // namespace

std::string toBytes(const std::string& text) {
  std::istringstream lines(text);
  std::string line, bytes;
  while (std::getline(lines, line)) {
    std::istringstream in(line);
    std::string first;
    if (!(in >> first) || first[0] == '#') continue;
    if (first == "raw") {
      for (std::string hex; in >> hex;) {
        bytes += static_cast<char>(std::stoi(hex, nullptr, 16));
      }
      continue;
    }
    unsigned char r[Employee::kRecordBytes] = {};
    int deleted, category, amount, y, m, d;
    char slash;
    in >> deleted;
    const std::string name = unescapeName(in);
    in >> category >> amount >> y >> slash >> m >> slash >> d;
    if (!in || name.size() > Employee::kNameBytes) {
      throw std::runtime_error("bad record line: " + line);
    }
    // Built field by field, independently of the codec under test.
    auto put = [&](int at, long v) {
      for (int i = 0; i < 4; ++i) r[at + i] = (unsigned long)v >> (8 * i);
    };
    put(Employee::kIdAt, std::stol(first));
    put(Employee::kDeletedAt, deleted);
    name.copy(reinterpret_cast<char*>(r + Employee::kNameAt), name.size());
    put(Employee::kCategoryAt, category);
    put(Employee::kAmountAt, amount);
    put(Employee::kDateAt, y);
    put(Employee::kDateAt + 4, m);
    put(Employee::kDateAt + 8, d);
    bytes.append(reinterpret_cast<char*>(r), sizeof r);
  }
  return bytes;
}

std::string fromBytes(const std::string& bytes) {
  std::string out;
  std::size_t at = 0;
  for (; at + Employee::kRecordBytes <= bytes.size();
       at += Employee::kRecordBytes) {
    Employee e;
    e.decode(reinterpret_cast<const unsigned char*>(bytes.data() + at),
             Employee::kRecordBytes);
    const Date& d = e.getDate();
    out += std::to_string(e.getId()) + " " + std::to_string(e.getDeleted()) +
           " \"" + escapeName(e.getNameField()) + "\" " +
           std::to_string(e.getCategory()) + " " +
           std::to_string(e.getAmount()) + " " + std::to_string(d.getYear()) +
           "/" + std::to_string(d.getMonth()) + "/" +
           std::to_string(d.getDay()) + "\n";
  }
  if (at < bytes.size()) {
    out += "raw";
    for (; at < bytes.size(); ++at) {
      char hex[4];
      std::snprintf(hex, sizeof hex, " %02X",
                    static_cast<unsigned char>(bytes[at]));
      out += hex;
    }
    out += "\n";
  }
  return out;
}

}  // namespace record_text

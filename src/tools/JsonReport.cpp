#include "JsonReport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "Display.h"
#include "EmpTrans.h"

namespace {

// `text` as a JSON string. Valid UTF-8 stays as it is but for the
// characters Display shows escaped (control characters, those that
// reorder the line or show nothing), which become \u escapes: a program
// reads them back exactly, and a terminal never acts on them. A byte that
// is not part of valid UTF-8, which the report's texts never hold (they
// show such bytes as \xNN), becomes U+FFFD.
std::string quoted(std::string_view text) {
  std::string out = "\"";
  auto escape = [&out](unsigned code) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\u%04x", code);
    out += hex;
  };
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Display::characterLength(text.substr(i));
    const std::string_view c = text.substr(i, std::max<std::size_t>(length, 1));
    i += c.size();
    const long code = length == 0 ? 0xFFFD : Display::hidden(c);
    if (code > 0xFFFF) {  // as a surrogate pair
      escape(0xD800 + ((code - 0x10000) >> 10));
      escape(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else if (code >= 0) {
      escape(static_cast<unsigned>(code));
    } else {
      if (c == "\"" || c == "\\") out += '\\';
      out += c;
    }
  }
  return out + "\"";
}

// A line or column, or null for 0: none.
std::string orNull(long n) { return n == 0 ? "null" : std::to_string(n); }

std::string record(const Employee& e) {
  const char* field = e.getNameField();
  const std::string_view bytes(field, ::strnlen(field, Employee::kNameBytes));
  const std::string shown = Display::name(field, Employee::kNameBytes);
  std::string out = "{\"name\":" + quoted(shown);
  if (shown != bytes) {
    out += ",\"name_hex\":\"";
    for (const char c : bytes) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(c));
      out += hex;
    }
    out += '"';
  }
  return out + ",\"category\":" + quoted(Display::category(e.getCategory())) +
         ",\"amount\":" + std::to_string(e.getAmount()) +
         ",\"date\":" + quoted(Display::date(e.getDate())) +
         ",\"deleted\":" + std::to_string(e.getDeleted()) + "}";
}

// Totals as an object of their names: {"records":5,...}. Sums are exact
// integers of any size, as JSON writes numbers.
std::string object(const std::vector<std::pair<std::string, Sum>>& rows) {
  std::string out;
  for (const auto& [name, sum] : rows) {
    out += (out.empty() ? "{" : ",") + quoted(name) + ":" + sum.text();
  }
  return out.empty() ? "{}" : out + "}";
}

std::string totals(const ReportWriter::Totals* t) {
  if (t == nullptr) return "null";
  auto file = [](const std::optional<FileTotals>& f) {
    return f ? object(f->rows()) : "null";
  };
  return "{\"from\":" + orNull(t->from) + ",\"batch\":" + object(t->batch) +
         ",\"before\":" + file(t->before) + ",\"after\":" + file(t->after) +
         "}";
}

// The names of the endings, by ReportWriter::End.
constexpr const char* kEnds[] = {"end", "unknown-employee", "error",
                                 "cannot-open"};

void line(const std::string& object) { std::printf("%s\n", object.c_str()); }

}  // namespace

JsonReport::JsonReport() {
  line("{\"format\":\"empcheck-plan\",\"version\":" + std::to_string(kVersion) +
       "}");
}

void JsonReport::step(const Step& s) {
  line("{\"type\":\"transaction\",\"line\":" + std::to_string(s.line) +
       ",\"kind\":" + quoted(EmpTrans::kinds()[s.kind]->name) +
       ",\"employee\":" + std::to_string(s.after.getId()) +
       ",\"before\":" + (s.before ? record(*s.before) : "null") +
       ",\"after\":" + record(s.after) + "}");
}

void JsonReport::diagnostic(const Diagnostic& d) {
  line("{\"type\":\"diagnostic\",\"file\":" + quoted(d.file) +
       ",\"line\":" + orNull(d.line) + ",\"column\":" + orNull(d.column) +
       ",\"severity\":" + quoted(d.severity) + ",\"words\":" + quoted(d.words) +
       "}");
}

void JsonReport::summary(const Summary& s) {
  std::string counts;
  for (std::size_t k = 0; k < s.counts.size(); ++k) {
    counts += (k == 0 ? "" : ",") + quoted(EmpTrans::kinds()[k]->name) + ":" +
              std::to_string(s.counts[k]);
  }
  // What the run writes on standard error, or for kCannotOpen the cause,
  // without the line ends around it.
  std::string_view told = s.told;
  while (!told.empty() && told.front() == '\n') told.remove_prefix(1);
  while (!told.empty() && told.back() == '\n') told.remove_suffix(1);
  // The summary's members, in their order: a new one is a line here.
  std::string out = "{\"type\":\"summary\"";
  out += ",\"counts\":{" + counts + "}";
  out += ",\"end\":" + quoted(kEnds[static_cast<int>(s.how)]);
  out += ",\"line\":" + orNull(s.end.line);
  out += ",\"employee\":" + (s.how == End::kUnknownEmployee
                                 ? std::to_string(s.end.unknownId)
                                 : "null");
  out += ",\"diagnostic\":" + (told.empty() ? "null" : quoted(told));
  out += ",\"mistakes\":" + std::to_string(s.mistakes);
  out += ",\"warnings\":" + std::to_string(s.warnings);
  out += ",\"status\":" + std::to_string(s.status);
  out += ",\"totals\":" + totals(s.totals);
  line(out + "}");
}

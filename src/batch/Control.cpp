#include "Control.h"

#include <algorithm>
#include <optional>

#include "Display.h"
#include "RecordFile.h"
#include "SystemCalls.h"

namespace {

// What was read, quoted as diagnostics quote it: escaped, and cut.
std::string quoted(std::string_view text) {
  return "'" + Display::text(text, 32, Display::Lookalikes::kEscape) + "'";
}

// The words of a line, between blanks (a carriage return, as of a line end
// written CR LF, among them).
std::vector<std::string_view> wordsOf(std::string_view line) {
  std::vector<std::string_view> words;
  constexpr std::string_view kBlanks = " \t\r\v\f";
  for (std::size_t at = line.find_first_not_of(kBlanks);
       at != std::string_view::npos; at = line.find_first_not_of(kBlanks, at)) {
    const std::size_t end =
        std::min(line.find_first_of(kBlanks, at), line.size());
    words.push_back(line.substr(at, end - at));
    at = end;
  }
  return words;
}

}  // namespace

std::string Control::choices() {
  const std::vector<std::string> names = BatchTotals::names();
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    list += (i == 0 ? "" : i + 1 < names.size() ? ", " : " or ") + names[i];
  }
  return list;
}

std::string Control::read(const std::string& path, const char* program) {
  shown_ = Display::name(path.data(), path.size());
  const std::string at = std::string(program) + ":" + shown_;
  RecordFile file;
  if (!file.open(path.c_str(), RecordFile::Access::kRead, false,
                 RecordFile::Check::kTypeFirst)) {
    return at + ": cannot open: " + SystemCalls::errorText(file.error()) + "\n";
  }
  // One byte more than the most taken tells a file too large.
  std::string text(kMostBytes + 1, '\0');
  const std::int64_t got = file.read(text.data(), text.size());
  if (got < 0) {
    return at + ": cannot read: " + SystemCalls::errorText(file.error()) + "\n";
  }
  if (got > std::int64_t(kMostBytes)) {
    return at + ": larger than " + std::to_string(kMostBytes) +
           " bytes: not a control file\n";
  }
  text.resize(static_cast<std::size_t>(got));
  std::string wrong;
  long line = 1;
  for (std::size_t start = 0; start < text.size(); ++line) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string why =
        judge(wordsOf(std::string_view(text).substr(start, end - start)), line);
    if (!why.empty())
      wrong += at + ":" + std::to_string(line) + ": " + why + "\n";
    start = end + 1;
  }
  // One that checks nothing is likely not the file meant (an empty one).
  if (wrong.empty() && given_.empty()) {
    return at + ": gives no total: a line is NAME VALUE, NAME one of " +
           choices() + "\n";
  }
  return wrong;
}

std::string Control::judge(const std::vector<std::string_view>& words,
                           long line) {
  if (words.empty() || words[0][0] == '#') return "";
  const std::string name(words[0]);
  // A comment may follow the value, as in a batch.
  if (words.size() != 2 && (words.size() < 2 || words[2][0] != '#')) {
    return quoted(name) +
           (words.size() < 2 ? " has no value" : " has more than one value") +
           ": a line is NAME VALUE";
  }
  const std::vector<std::string> names = BatchTotals::names();
  if (std::find(names.begin(), names.end(), name) == names.end()) {
    return "total " + quoted(name) + " is not " + choices();
  }
  for (const Given& g : given_) {
    if (g.name == name) {
      return name + " is given twice (first on line " + std::to_string(g.line) +
             ")";
    }
  }
  const std::optional<Sum> value = Sum::parse(words[1]);
  if (!value) {
    // Digits beyond the range of a Sum, or no number at all.
    const std::string_view v = words[1].substr(words[1][0] == '-' ? 1 : 0);
    const bool digits = !v.empty() && v.find_first_not_of("0123456789") ==
                                          std::string_view::npos;
    return name + " " + quoted(words[1]) +
           (digits ? " is out of range (beyond 2^127 either way)"
                   : " is not a decimal integer (an optional minus, then "
                     "digits)");
  }
  given_.push_back({name, *value, line});
  return "";
}

std::string Control::check(const BatchTotals& counted) const {
  const auto rows = counted.rows();
  std::string differ;
  for (const Given& g : given_) {
    const Sum has =
        std::find_if(rows.begin(), rows.end(), [&](const auto& row) {
          return row.first == g.name;
        })->second;
    if (has == g.value) continue;
    const Sum::Magnitude difference = has.distance(g.value);
    differ += "empupdate:" + shown_ + ":" + std::to_string(g.line) + ": " +
              g.name + ": the control file says " + g.value.text() +
              ", the batch has " + has.text() + " (" + Sum::text(difference) +
              (has < g.value ? " less)" : " more)");
    if (const BatchTotals::Holder h = counted.holding(g.name, difference);
        h.line != 0) {
      differ += "; line " + std::to_string(h.line) + " has an " + h.field +
                " of " + std::to_string(h.value) +
                " (left out, doubled or mistyped?)";
    }
    differ += "\n";
  }
  return differ;
}

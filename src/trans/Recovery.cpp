#include "Recovery.h"

#include <algorithm>

#include "Category.h"
#include "EmpTrans.h"

namespace {

using Part = Finding::Part;
using Reason = Finding::Reason;
using traits = modifstream::traits_type;

// How far a token, or the quote that ends a name, is looked for.
constexpr std::size_t kSearched = 2048;

constexpr auto isLetter = &modifstream::isLetter;
constexpr auto upper = &modifstream::upper;

bool endsToken(int c) {
  return c == traits::eof() || modifstream::isWhiteSpace(c);
}

// A kind's type letter, in either case, with no letter after it: "Diaz" is
// a word, not a "D".
bool isTypeLetter(int c, int next) {
  return isLetter(c) && !isLetter(next) &&
         EmpTrans::placeOf(upper(static_cast<char>(c))) >= 0;
}

bool isCategoryLetter(char c) { return categoryOf(upper(c)) != nullptr; }

// A number, perhaps with a sign, or in accounting form "(500)".
bool isNumeric(std::string_view t) {
  const std::size_t at =
      !t.empty() && (t[0] == '-' || t[0] == '+' || t[0] == '(');
  return t.size() > at && modifstream::isDigit(t[at]);
}

// "2000/1/15", or "2000-1-15" meant as one.
bool isDate(std::string_view t) {
  return isNumeric(t) && (t.find('/') != t.npos ||
                          std::count(t.begin() + 1, t.end(), '-') >= 2);
}

// A double quote, or one of the quotes a word processor puts for it.
bool isQuoted(std::string_view t) {
  return t.starts_with('"') || t.starts_with("\xE2\x80\x9C") ||
         t.starts_with("\xE2\x80\x9D") || t.starts_with("\xEF\xBC\x82");
}

bool fits(Part p, std::string_view t) {
  switch (p) {
    case Part::kNumber:
    case Part::kAmount:
      return isNumeric(t) && !isDate(t);
    case Part::kName:
      return isQuoted(t);
    case Part::kCategory:
      return (t.size() == 1 && isCategoryLetter(t[0])) ||
             (t.size() == 3 && t[0] == '"' && t[2] == '"' &&
              isCategoryLetter(t[1]));
    case Part::kDate:
      return isDate(t);
    default:
      return false;
  }
}

// The token a field's note starts with.
std::string_view tokenOf(const Finding& note) {
  const std::string_view text(note.text, note.size);
  return text.substr(0, text.find_first_of(modifstream::kWhiteSpace));
}

}  // namespace

Recovery::Recovery(modifstream& in, const Reading& reading)
    : in_(in), r_(reading) {
  if (reading.kind() >= 0) fields_ = EmpTrans::kinds()[reading.kind()]->fields;
}

const Finding& Recovery::noteOf(std::size_t k) const {
  // A date starts where its year does.
  return r_.note(fields_[k] == Part::kDate ? Part::kYear : fields_[k]);
}

std::size_t Recovery::fit(std::string_view token, std::size_t from) const {
  for (std::size_t k = from; k < fields_.size(); ++k) {
    if (fits(fields_[k], token)) return k;
  }
  return fields_.size();
}

void Recovery::take(std::size_t n) {
  for (; n > 0; --n) in_.take();
}

bool Recovery::skipBlanks() {
  for (int c = in_.peekAt(0); c != '\n'; c = in_.peekAt(0)) {
    if (c == traits::eof()) return false;
    if (!modifstream::isWhiteSpace(c)) return true;
    in_.takeBlank();
  }
  return true;
}

std::string_view Recovery::tokenAhead(std::size_t skip) {
  const char* text = nullptr;
  const std::size_t n =
      in_.ahead(std::min(skip + kSearched, kSearched * 2), &text);
  const std::string_view ahead =
      std::string_view(text, n).substr(std::min(skip, n));
  if (ahead.starts_with('"')) {
    const std::size_t end = ahead.find_first_of("\"\n", 1);
    if (end != ahead.npos && ahead[end] == '"') return ahead.substr(0, end + 1);
  }
  return ahead.substr(0, ahead.find_first_of(modifstream::kWhiteSpace));
}

std::string_view Recovery::nextToken(std::size_t from) {
  const char* text = nullptr;
  const std::size_t n = in_.ahead(kSearched * 2, &text);
  const std::string_view ahead(text, n);
  std::size_t at = ahead.find_first_not_of(modifstream::kWhiteSpace, from);
  if (at == ahead.npos) return {};
  // One on a later line, unless it starts the next transaction.
  const std::size_t lineEnd = ahead.rfind('\n', at);
  const bool lineStart =
      (lineEnd != ahead.npos && lineEnd >= from) ||
      (from == 0 && in_.line() > r_.line() && in_.lineBlank());
  if (lineStart && isTypeLetter(static_cast<unsigned char>(ahead[at]),
                                at + 1 < ahead.size()
                                    ? static_cast<unsigned char>(ahead[at + 1])
                                    : traits::eof())) {
    return {};
  }
  return tokenAhead(at);
}

bool Recovery::toQuote() {
  const char* text = nullptr;
  const std::size_t n = in_.ahead(kSearched, &text);
  const std::string_view ahead(text, n);
  const std::size_t end = ahead.find_first_of("\"\n");
  if (end == ahead.npos || ahead[end] != '"') return false;
  take(end + 1);
  return true;
}

bool Recovery::atNextTransaction() {
  return in_.line() > r_.line() && in_.lineBlank() &&
         isTypeLetter(in_.peekAt(0), in_.peekAt(1));
}

void Recovery::restOfLine() {
  for (int c = in_.peekAt(0); c != traits::eof() && c != '\n';
       c = in_.peekAt(0)) {
    in_.take();
  }
}

std::size_t Recovery::unclosedName(std::size_t g) {
  const Finding& name = *r_.error();
  const bool cut = name.reason == Reason::kCutByLineEnd;
  if (!cut && toQuote()) return g + 1;  // only too long
  // The fields the name ran over, on its line, are those after it that
  // fit; the rest are on later lines.
  std::string_view text(name.text, name.size);
  text = text.substr(1, text.find('\n') - 1);
  std::size_t at = g + 1;
  for (std::size_t k = 0; at < fields_.size();) {
    k = text.find_first_not_of(modifstream::kWhiteSpace, k);
    if (k == text.npos) break;
    const std::size_t end =
        std::min(text.find_first_of(modifstream::kWhiteSpace, k), text.size());
    if (fits(fields_[at], text.substr(k, end - k))) ++at;
    k = end;
  }
  if (!cut) {
    restOfLine();
  } else if (at == g + 1 && !atNextTransaction()) {
    toQuote();  // the name goes on over the line end, up to its quote
  }
  return at;
}

std::size_t Recovery::fieldReached() {
  Finding here;
  in_.noteHere(here);
  auto before = [&](const Finding& n, bool strictly) {
    return n.line < here.line ||
           (n.line == here.line &&
            (strictly ? n.column < here.column : n.column <= here.column));
  };
  bool mid = !endsToken(in_.behind()) && !endsToken(in_.peekAt(0));
  // The last field reached whose token the reader is in or at.
  std::size_t g = fields_.size();
  for (std::size_t k = 0; k < fields_.size(); ++k) {
    const Finding& n = noteOf(k);
    if (n.line != 0 && before(n, mid)) g = k;
  }
  if (g == fields_.size()) {
    if (mid) take(tokenAhead().size());  // the rest of the type letter's word
    return 0;
  }
  const Finding& note = noteOf(g);
  if (!before(note, true)) return g;  // nothing of it read yet
  if (here.line > r_.line() && in_.lineStart() != traits::eof()) {
    // The failing read took the first character of a later line: one that
    // is no part of the field's token, or a type letter.
    if (note.line < here.line || isTypeLetter(in_.lineStart(), in_.peekAt(0))) {
      in_.putBackLineStart();
      if (note.line == here.line) return fields_.size();
      mid = false;
    }
  }
  return classify(g, mid);
}

std::size_t Recovery::classify(std::size_t g, bool mid) {
  const Finding& blamed = *r_.error();
  const Finding& note = noteOf(g);
  const std::string_view token = tokenOf(note);
  // A name's own reasons, which fail it as it is read: it is field g.
  if (blamed.reason == Reason::kCutByLineEnd ||
      blamed.reason == Reason::kNameTooLong) {
    return unclosedName(g);
  }
  // The words of a name not quoted, up to a quote on this line, if any.
  if (blamed.reason == Reason::kNotQuoted && fit(token, 0) == fields_.size() &&
      toQuote()) {
    return g + 1;
  }
  if (mid) take(tokenAhead().size());
  return after(g, token, 0);
}

std::size_t Recovery::after(std::size_t at, std::string_view token,
                            std::size_t rest) {
  if (fits(fields_[at], token)) return at + 1;
  const std::string_view next = nextToken(rest);
  // A token too many, when the one after it fits the field; a wrong value
  // of the field, when it fits the field after.
  if (fits(fields_[at], next)) return at;
  if (at + 1 < fields_.size() && fits(fields_[at + 1], next)) return at + 1;
  // Else a later field, those before it left out, or a wrong value.
  const std::size_t later = fit(token, at + 1);
  return later < fields_.size() ? later + 1 : at + 1;
}

void Recovery::readFields(std::size_t at) {
  while (at < fields_.size()) {
    if (!skipBlanks()) return;
    if (in_.peekAt(0) == '\n') {
      in_.take();
      continue;
    }
    if (atNextTransaction()) return;
    const std::string_view token = tokenAhead();
    const std::size_t next = after(at, token, token.size());
    take(std::max<std::size_t>(token.size(), 1));
    at = next;
  }
}

void Recovery::skip() {
  if (in_.bad()) return;
  in_.clear();
  try {
    readFields(fields_.empty() ? 0 : fieldReached());
    // The rest of the line of the last field, which the run skips; none
    // when the reader stands at the start of a later line.
    if (in_.line() > r_.line() && in_.lineBlank()) return;
    restOfLine();
    if (in_.peekAt(0) == '\n') in_.take();
  } catch (const std::ios_base::failure&) {
    in_.setstate(std::ios::badbit);
  }
}

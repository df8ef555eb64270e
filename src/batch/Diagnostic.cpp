#include "Diagnostic.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>

#include "Array.h"
#include "Batch.h"
#include "Date.h"
#include "Display.h"
#include "EmpTrans.h"
#include "Employee.h"
#include "Interruption.h"
#include "modifstream.h"

const char* Diagnostic::fieldName(EmpTrans::Part p) {
  using Part = EmpTrans::Part;
  switch (p) {
    case Part::kType:
      return "transaction type";
    case Part::kNumber:
      return "employee number";
    case Part::kName:
      return "name";
    case Part::kCategory:
      return "category";
    case Part::kAmount:
      return "amount";
    case Part::kYear:
      return "year";
    case Part::kMonth:
      return "month";
    case Part::kDay:
      return "day";
    case Part::kNone:
      break;
  }
  return "date";
}

namespace {

std::string systemText(int error) {
  return error == 0 ? "unknown error" : std::strerror(error);
}

using Part = EmpTrans::Part;
using Field = modifstream::Field;

const Field& at(Part p) { return EmpTrans::field(p); }

bool isWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// What stood where the field `p` starts, between single quotes, as far as
// the field goes: up to white space, a part of a date up to its "/" too,
// and a name up to its closing quote or the line end. Escaped as names
// are, and cut after 32 bytes, well within what the field noted.
std::string quote(Part p) {
  const Field& f = at(p == Part::kNone ? Part::kYear : p);
  const std::string_view text(f.text, f.size);
  std::size_t end = 0;
  if (p == Part::kName && !text.empty() && text[0] == '"') {
    end = std::min(text.find_first_of("\"\n", 1), text.size());
  } else {
    const bool datePart =
        p == Part::kYear || p == Part::kMonth || p == Part::kDay;
    while (end < text.size() && !isWhiteSpace(text[end]) &&
           !(datePart && text[end] == '/')) {
      ++end;
    }
  }
  return "'" + Display::text(text.substr(0, end), 32) + "'";
}

std::string lead(Part p) {
  return std::string(Diagnostic::fieldName(p)) + " " + quote(p);
}

// A field that the text ended before.
bool missing(Part p) { return at(p).size == 0; }
std::string missingText(Part p) {
  return std::string(Diagnostic::fieldName(p)) +
         " missing at the end of the file";
}

// What is wrong with the number `p`, to blame for a syntax error.
std::string badNumber(Part p) {
  const Field& f = at(p);
  if (missing(p)) return missingText(p);
  if (!f.read && f.length == 0) return lead(p) + " is not a number";
  if (!f.read) return lead(p) + " is out of range (-2147483648 to 2147483647)";
  if (f.cutShort && f.length >= 15) {
    return lead(p) + " is longer than 15 characters";
  }
  if (f.cutShort) {
    // The number the writer meant: without the zeros that made it octal,
    // up to the end of its digits (an 8 or 9 stands among them).
    const std::string_view text(f.text, f.size);
    const std::string_view digits =
        text.substr(0, text.find_first_not_of("+-0123456789"));
    const std::string meant =
        (text[0] == '-' ? "-" : "") +
        std::string(digits.substr(digits.find_first_not_of("+-0")));
    return lead(p) +
           " is not a number: a leading 0 makes it octal, in which 8 and 9 "
           "are not digits (write " +
           meant + ")";
  }
  // Read, but run into what follows it.
  const std::size_t k = f.length;
  if (k + 1 < f.size && (f.text[k] == '.' || f.text[k] == ',') &&
      f.text[k + 1] >= '0' && f.text[k + 1] <= '9') {
    return lead(p) + " is not a whole number (no decimal point or comma)";
  }
  return lead(p) + " is not a number: white space must end it";
}

// For a part of a date out of range: that the number rule read it as
// octal or hexadecimal, and the value it took, when that is not what its
// digits say in decimal ("02000" is 1024).
std::string readAs(Part p) {
  const Field& f = at(p);
  if (f.base == 10) return "";
  if (f.base == 8 && std::stoll(std::string(f.text, f.length)) == f.value) {
    return "";
  }
  return std::string(": it is read as ") +
         (f.base == 8 ? "octal, for its leading 0: " : "hexadecimal: ") +
         std::to_string(f.value);
}

// The days of month m of year y, both in range, by the calendar of Date.
int daysIn(std::int32_t y, std::int32_t m) {
  for (int d = 31;; --d) {
    try {
      Date(y, m, d);
      return d;
    } catch (const Date::DayOutOfRange&) {
    }
  }
}

// What is wrong with a date whose reading threw `error`, and which of its
// parts is to blame.
std::string badDate(const std::exception_ptr& error, Part* blamed) {
  *blamed = Part::kYear;
  for (const Part p : {Part::kYear, Part::kMonth, Part::kDay}) {
    if (at(p).cutShort) {
      *blamed = p;
      return badNumber(p);
    }
  }
  if (missing(Part::kYear)) return missingText(Part::kNone);
  try {
    std::rethrow_exception(error);
  } catch (const Date::YearOutOfRange&) {
    const Field& day = at(Part::kDay);
    const bool yearLast = day.value >= 1901 && day.value <= 2099;
    return lead(Part::kYear) + " is out of range (1901 to 2099)" +
           readAs(Part::kYear) +
           (yearLast ? ": the year comes first, YEAR/MONTH/DAY" : "");
  } catch (const Date::MonthOutOfRange&) {
    *blamed = Part::kMonth;
    if (!at(Part::kMonth).read) return badNumber(Part::kMonth);
    return lead(Part::kMonth) + " is out of range (1 to 12)" +
           readAs(Part::kMonth);
  } catch (const Date::DayOutOfRange&) {
    *blamed = Part::kDay;
    if (!at(Part::kDay).read) return badNumber(Part::kDay);
    const std::int32_t y = at(Part::kYear).value, m = at(Part::kMonth).value;
    return lead(Part::kDay) + " is out of range: " + std::to_string(y) + "/" +
           std::to_string(m) + " has " + std::to_string(daysIn(y, m)) +
           " days" + readAs(Part::kDay);
  } catch (...) {
  }
  return std::string("date ") + quote(Part::kNone) +
         " is not YEAR/MONTH/DAY with '/' between";
}

// What is wrong with a type or category letter that is none of `letters`.
std::string badLetter(Part p, const char* letters) {
  if (missing(p)) return missingText(p);
  const char c = at(p).text[0];
  const auto u = static_cast<unsigned char>(c);
  const bool lower =
      std::islower(u) && std::strchr(letters, std::toupper(u)) != nullptr;
  return lead(p) + " is not " + letters + (lower ? " (upper case)" : "");
}

// A word where the letter `letter` stands ("Hourly" for a category): its
// first letter is taken, and the rest fails as the field after it.
bool isWord(Part letter) {
  const Field& l = at(letter);
  return l.size > 1 && std::isalpha(static_cast<unsigned char>(l.text[1]));
}

std::string badWord(Part letter, const char* letters, const char* then,
                    Part next) {
  return lead(letter) + " is not " + letters + ": one letter, then " + then +
         " (" + std::string(1, at(letter).text[0]) + " was taken, then " +
         quote(next) + " failed as the " + Diagnostic::fieldName(next) + ")";
}

// Whether `error` is one of the syntax errors of emptrans.dat.
bool isSyntax(const std::exception_ptr& error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const EmpTrans::InvalidType&) {
    return true;
  } catch (const EmpTrans::InvalidContent&) {
    return true;
  } catch (const modifstream::InvalidQuotedString&) {
    return true;
  } catch (const modifstream::MaxLenExceeded&) {
    return true;
  } catch (const modifstream::InvalidDate&) {
    return true;
  } catch (const Date::OutOfRange&) {
    return true;
  } catch (...) {
  }
  return false;
}

// The field a syntax error is blamed on, and what is wrong with it.
std::string syntax(const std::exception_ptr& error, Part* blamed) {
  const Part suspect = EmpTrans::suspect();
  *blamed = suspect;
  try {
    std::rethrow_exception(error);
  } catch (const EmpTrans::NotText&) {
    *blamed = Part::kType;
    const Field& f = at(Part::kType);
    const auto* b = reinterpret_cast<const unsigned char*>(f.text);
    if (b[0] == 0xEF) {
      return "the text starts with a UTF-8 byte order mark (bytes EF BB BF): "
             "save it without one";
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%02X %02X", b[0], b[1]);
    const std::string bytes = hex;
    return "the file is in UTF-16 (its text starts with the bytes " + bytes +
           "): save it as UTF-8";
  } catch (const EmpTrans::InvalidType&) {
    *blamed = Part::kType;
    return badLetter(Part::kType, "A, C or D");
  } catch (const EmpTrans::InvalidCategory&) {
    *blamed = Part::kCategory;
    return badLetter(Part::kCategory, "S, H or *");
  } catch (const EmpTrans::InvalidNumber&) {
    *blamed = Part::kNumber;
  } catch (const EmpTrans::NumberCutShort&) {
    *blamed = EmpTrans::lastNumber();
  } catch (...) {
  }
  if (*blamed == Part::kAmount && isWord(Part::kCategory)) {
    *blamed = Part::kCategory;
    return badWord(Part::kCategory, "S, H or *", "the amount", Part::kAmount);
  }
  if (*blamed == Part::kNumber && isWord(Part::kType)) {
    *blamed = Part::kType;
    return badWord(Part::kType, "A, C or D", "the fields", Part::kNumber);
  }
  if (*blamed != Part::kNone) return badNumber(*blamed);
  try {
    std::rethrow_exception(error);
  } catch (const modifstream::InvalidQuotedString&) {
    *blamed = Part::kName;
    if (missing(Part::kName)) return missingText(Part::kName);
    if (isWord(Part::kType)) {
      *blamed = Part::kType;
      return badWord(Part::kType, "A, C or D", "the fields", Part::kName);
    }
    if (at(Part::kName).text[0] != '"') {
      return lead(Part::kName) + " is not in double quotes";
    }
    return lead(Part::kName) + " is cut by a line end (a name is on one line)";
  } catch (const modifstream::MaxLenExceeded&) {
    *blamed = Part::kName;
    const Field& f = at(Part::kName);
    const std::string_view text(f.text, f.size);
    const bool closed = text.find('"', 1) != std::string_view::npos;
    return lead(Part::kName) + (closed || f.size == Field::kTextBytes
                                    ? " is longer than 31 characters"
                                    : " is not closed: the file ends inside");
  } catch (...) {
  }
  return badDate(error, blamed);
}

std::string employeeFileSize() {
  struct stat st;
  if (::stat(Employee::kFileName, &st) != 0) return "its size";
  return "size " + std::to_string(st.st_size);
}

}  // namespace

std::string Diagnostic::what(std::exception_ptr error, bool startUp,
                             std::string* file, Place* place) {
  std::string ignored;
  std::string& at = file != nullptr ? *file : ignored;
  at = Employee::kFileName;
  if (isSyntax(error)) {
    at = EmpTrans::kFileName;
    Part blamed = Part::kNone;
    const std::string text = syntax(error, &blamed);
    if (place != nullptr) {
      place->line = EmpTrans::field(blamed).line;
      place->column = EmpTrans::field(blamed).column;
    }
    return text;
  }
  // At start-up the diagnostic already names employee.dat.
  const std::string employee = startUp ? "" : " employee.dat";
  const std::string sys = systemText(Employee::systemError());
  try {
    if (error) std::rethrow_exception(error);
    return "internal error: no error in flight";
  } catch (const Batch::Interrupted&) {
    return std::string("interrupted by ") +
           Interruption::name(Interruption::pending());
  } catch (const Batch::SameFile&) {
    at = EmpTrans::kFileName;
    return "the same file as employee.dat";
  } catch (const EmpTrans::CantOpenFile&) {
    at = EmpTrans::kFileName;
    const int error = EmpTrans::openError();
    return "cannot open: " + (error == modifstream::kNotRegularFile
                                  ? std::string("not a regular file")
                                  : systemText(error));
  } catch (const EmpTrans::EmpTransErrors&) {
    return "invalid transaction";
  } catch (const modifstream::ReadFailed&) {
    return "cannot read emptrans.dat: " + systemText(EmpTrans::readError());
  } catch (const Employee::NotRegularFile&) {
    return "cannot open" + employee + ": not a regular file";
  } catch (const Employee::CantOpenFile&) {
    return "cannot open" + employee + ": " + sys;
  } catch (const Employee::ReadFailed&) {
    return "cannot read" + employee + ": " + sys;
  } catch (const Employee::RecordTorn&) {
    return "cannot write" + employee + ": " + sys +
           ", and the record could not be put back as it was";
  } catch (const Employee::WriteFailed&) {
    return "cannot write" + employee + ": " + sys;
  } catch (const Employee::EndOfFile&) {
    return "employee.dat ends inside a record it held at the start of the run";
  } catch (const Employee::BadSize&) {
    return employeeFileSize() + " is not a whole number of 60-byte records";
  } catch (const Employee::TooLarge&) {
    return startUp ? employeeFileSize() + " is 2 GiB or more: too large"
                   : "employee.dat would grow to 2 GiB: too large";
  } catch (const Employee::NoFreeId&) {
    return "no employee number left to give (2147483647 is taken)";
  } catch (const Employee::InUse&) {
    return "in use by another run";
  } catch (const Employee::LockFailed&) {
    return "cannot lock" + employee + ": " + sys;
  } catch (const Employee::FileChanged&) {
    return "employee.dat was changed by another program during the run";
  } catch (const Employee::EmployeeError&) {
    return "employee file error";
  } catch (const Array<Employee::Location>::IndexOutOfRange&) {
    return "internal error: index out of range";
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& e) {
    return std::string("internal error: ") + e.what();
  } catch (...) {
    // Whatever it is, the run must still end with a diagnostic.
    return "internal error: unknown exception";
  }
}

std::string Diagnostic::line(const char* program, std::exception_ptr error,
                             bool startUp, long line, long applied) {
  std::string file;
  Place place;
  std::string text = what(error, startUp, &file, &place);
  if (startUp) return std::string(program) + ":" + file + ": " + text + "\n";
  std::string where = std::to_string(line);
  if (place.column > 0) {
    where = std::to_string(place.line) + ":" + std::to_string(place.column);
    if (place.line != line) {
      text += " (in the transaction of line " + std::to_string(line) + ")";
    }
  }
  return std::string(program) + ":emptrans.dat:" + where + ": " + text + "; " +
         std::to_string(applied) +
         (applied == 1 ? " transaction" : " transactions") +
         " applied before it\n";
}

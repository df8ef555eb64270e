#include "Diagnostic.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

#include "Array.h"
#include "Batch.h"
#include "Date.h"
#include "EmpTrans.h"
#include "Employee.h"
#include "Interruption.h"
#include "modifstream.h"

namespace {

std::string systemText(int error) {
  return error == 0 ? "unknown error" : std::strerror(error);
}

std::string letterText(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (std::isprint(u)) return std::string("'") + c + "'";
  char hex[8];
  std::snprintf(hex, sizeof hex, "'\\x%02X'", u);
  return hex;
}

constexpr char kBadNumber[] = "employee number missing or out of range";
constexpr char kCutShortWhy[] =
    " (a leading 0 makes a number octal; at most 15 characters)";

// The text for a syntax error that the number read before it is to blame
// for, or an empty string.
std::string blame(EmpTrans::Suspect suspect) {
  using S = EmpTrans::Suspect;
  switch (suspect) {
    case S::kNumber:
      return kBadNumber;
    case S::kNumberCut:
      return std::string("employee number cut short by the digit after it") +
             kCutShortWhy;
    case S::kAmount:
      return "amount missing or out of range";
    case S::kAmountCut:
      return std::string("amount cut short by the digit after it") +
             kCutShortWhy;
    case S::kNone:
      break;
  }
  return "";
}

std::string employeeFileSize() {
  struct stat st;
  if (::stat(Employee::kFileName, &st) != 0) return "its size";
  return "size " + std::to_string(st.st_size);
}

}  // namespace

std::string Diagnostic::what(std::exception_ptr error, bool startUp,
                             std::string* file) {
  std::string ignored;
  std::string& at = file != nullptr ? *file : ignored;
  at = Employee::kFileName;
  // At start-up the diagnostic already names employee.dat.
  const std::string employee = startUp ? "" : " employee.dat";
  const std::string sys = systemText(Employee::systemError());
  const std::string blamed = startUp ? "" : blame(EmpTrans::suspect());
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
  } catch (const EmpTrans::InvalidType&) {
    return "invalid transaction type " + letterText(EmpTrans::typeLetter());
  } catch (const EmpTrans::InvalidCategory&) {
    return "invalid category letter (S, H or * expected)";
  } catch (const EmpTrans::InvalidNumber&) {
    return kBadNumber;
  } catch (const EmpTrans::NumberCutShort&) {
    return std::string("digit right after a number that ends before it") +
           kCutShortWhy;
  } catch (const EmpTrans::EmpTransErrors&) {
    return "invalid transaction";
  } catch (const modifstream::InvalidQuotedString&) {
    if (!blamed.empty()) return blamed;
    return "name missing, not in double quotes, or broken by a line end";
  } catch (const modifstream::MaxLenExceeded&) {
    return "name longer than 31 characters or not closed";
  } catch (const modifstream::InvalidDate&) {
    if (!blamed.empty()) return blamed;
    return "date invalid (year/month/day expected)";
  } catch (const modifstream::ReadFailed&) {
    return "cannot read emptrans.dat: " + systemText(EmpTrans::readError());
  } catch (const Date::OutOfRange&) {
    if (!blamed.empty()) return blamed;
    try {
      throw;
    } catch (const Date::YearOutOfRange&) {
      return "year out of range (1901 to 2099)";
    } catch (const Date::MonthOutOfRange&) {
      return "month out of range";
    } catch (const Date::DayOutOfRange&) {
      return "day out of range";
    } catch (...) {
      return "date out of range";
    }
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
  const std::string text = what(error, startUp, &file);
  if (startUp) return std::string(program) + ":" + file + ": " + text + "\n";
  return std::string(program) + ":emptrans.dat:" + std::to_string(line) + ": " +
         text + "; " + std::to_string(applied) +
         (applied == 1 ? " transaction" : " transactions") +
         " applied before it\n";
}

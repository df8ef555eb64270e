#include "RunFailure.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

#include "Array.h"
#include "Date.h"
#include "EmpTrans.h"
#include "Employee.h"
#include "modifstream.h"

namespace {

std::string systemText(int error) {
  if (error == -1) return "not a regular file";
  if (error == 0) return "the file shrank while it was read";
  return std::strerror(error);
}

std::string letterText(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (std::isprint(u)) return std::string("'") + c + "'";
  char hex[8];
  std::snprintf(hex, sizeof hex, "'\\x%02X'", u);
  return hex;
}

std::string employeeFileSize() {
  struct stat st;
  if (::stat(Employee::kFileName, &st) != 0) return "its size";
  return "size " + std::to_string(st.st_size);
}

}  // namespace

std::string RunFailure::what(std::exception_ptr error, Stage stage) {
  // At start-up the diagnostic already names employee.dat.
  const std::string file = stage == Stage::kStartUp ? "" : " employee.dat";
  const std::string sys = systemText(Employee::systemError());
  try {
    if (error) std::rethrow_exception(error);
    return "internal error: no error in flight";
  } catch (const EmpTrans::InvalidType&) {
    return "invalid transaction type " + letterText(EmpTrans::typeLetter());
  } catch (const EmpTrans::InvalidCategory&) {
    return "invalid category letter (S, H or * expected)";
  } catch (const EmpTrans::InvalidNumber&) {
    return "employee number missing or out of range";
  } catch (const EmpTrans::NumberCutShort&) {
    return "digit right after a number that ends before it (a leading 0 "
           "makes a number octal; at most 15 characters)";
  } catch (const EmpTrans::EmpTransErrors&) {
    return "invalid transaction";
  } catch (const modifstream::InvalidQuotedString&) {
    return "name missing, not in double quotes, or broken by a line end";
  } catch (const modifstream::MaxLenExceeded&) {
    return "name longer than 31 characters or not closed";
  } catch (const modifstream::InvalidDate&) {
    return "amount or date invalid (amount then year/month/day expected)";
  } catch (const modifstream::ReadFailed&) {
    return "cannot read emptrans.dat: " + systemText(EmpTrans::readError());
  } catch (const Date::YearOutOfRange&) {
    return "year out of range (1901 to 2099)";
  } catch (const Date::MonthOutOfRange&) {
    return "month out of range";
  } catch (const Date::DayOutOfRange&) {
    return "day out of range";
  } catch (const Employee::CantOpenFile&) {
    return "cannot open" + file + ": " + sys;
  } catch (const Employee::ReadFailed&) {
    return "cannot read" + file + ": " + sys;
  } catch (const Employee::WriteFailed&) {
    return "cannot write" + file + ": " + sys;
  } catch (const Employee::EndOfFile&) {
    return "employee.dat ends inside a record it held at the start of the run";
  } catch (const Employee::BadSize&) {
    return employeeFileSize() + " is not a whole number of 60-byte records";
  } catch (const Employee::TooLarge&) {
    return stage == Stage::kStartUp
               ? employeeFileSize() + " is 2 GiB or more: too large"
               : "employee.dat would grow to 2 GiB: too large";
  } catch (const Employee::NoFreeId&) {
    return "no employee number left to give (2147483647 is taken)";
  } catch (const Employee::InUse&) {
    return "in use by another run";
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

std::string RunFailure::message(const char* program, std::exception_ptr error,
                                Stage stage, long line, long applied) {
  const std::string text = what(error, stage);
  if (stage == Stage::kStartUp) {
    return std::string(program) + ":employee.dat: " + text + "\n";
  }
  return std::string(program) + ":emptrans.dat:" + std::to_string(line) + ": " +
         text + "; " + std::to_string(applied) +
         (applied == 1 ? " transaction" : " transactions") +
         " applied before it\n";
}

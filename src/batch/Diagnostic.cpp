#include "Diagnostic.h"

#include <fcntl.h>

#include <cstring>
#include <new>

#include "Array.h"
#include "Batch.h"
#include "EmpTrans.h"
#include "Employee.h"
#include "Interruption.h"
#include "SystemCalls.h"
#include "modifstream.h"

namespace {

std::string systemText(int error) {
  return error == 0 ? "unknown error" : std::strerror(error);
}

// The errno that `error` carries as its cause, or 0.
int causeOf(const std::exception_ptr& error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const Employee::Cause& cause) {
    return cause.error;
  } catch (...) {
  }
  return 0;
}

std::string employeeFileSize() {
  SystemCalls::Facts facts;
  const int fd = systemCalls.open(Employee::kFileName,
                                  O_PATH | O_CLOEXEC, 0);
  const bool known = fd >= 0 && systemCalls.stat(fd, &facts) == 0;
  if (fd >= 0) systemCalls.close(fd);
  return known ? "size " + std::to_string(facts.size) : "its size";
}

// What an error's words may tell: the run's context, the text of the
// errno the error carries, and " employee.dat", or nothing at start-up,
// where the diagnostic names that file already.
struct Facts {
  const Diagnostic::Context& context;
  std::string sys;
  std::string employee;
};

template <class E>
bool is(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const E&) {
    return true;
  } catch (...) {
    return false;
  }
}

// The errors that end a run, a row each, a derived class before its base:
// the file at fault, and the words. An error of no row is worded as the
// internal error it is.
struct Row {
  bool (*is)(const std::exception_ptr&);
  const char* file;
  std::string (*words)(const Facts&);
};

constexpr const char* kEmployee = Employee::kFileName;
constexpr const char* kTrans = EmpTrans::kFileName;

const Row kRows[] = {
    {is<Batch::Interrupted>, kEmployee,
     [](const Facts& f) {
       const long at = f.context.resumeAt;
       return "interrupted by " + Interruption::name(f.context.signal) +
              (at > 0 ? " (resume with --from " + std::to_string(at) + ")"
                      : "");
     }},
    {is<Batch::SameFile>, kTrans,
     [](const Facts&) { return std::string("the same file as employee.dat"); }},
    {is<EmpTrans::CantOpenFile>, kTrans,
     [](const Facts& f) {
       const int e = f.context.openError;
       return "cannot open: " + (e == modifstream::kNotRegularFile
                                     ? std::string("not a regular file")
                                     : systemText(e));
     }},
    {is<modifstream::ReadFailed>, kEmployee,
     [](const Facts& f) {
       return "cannot read emptrans.dat: " + systemText(f.context.readError);
     }},
    {is<Employee::NotRegularFile>, kEmployee,
     [](const Facts& f) {
       return "cannot open" + f.employee + ": not a regular file";
     }},
    {is<Employee::CantOpenFile>, kEmployee,
     [](const Facts& f) { return "cannot open" + f.employee + ": " + f.sys; }},
    {is<Employee::ReadFailed>, kEmployee,
     [](const Facts& f) { return "cannot read" + f.employee + ": " + f.sys; }},
    {is<Employee::RecordTorn>, kEmployee,
     [](const Facts& f) {
       return "cannot write" + f.employee + ": " + f.sys +
              ", and the record could not be put back as it was";
     }},
    {is<Employee::WriteFailed>, kEmployee,
     [](const Facts& f) { return "cannot write" + f.employee + ": " + f.sys; }},
    {is<Employee::EndOfFile>, kEmployee,
     [](const Facts&) {
       return std::string(
           "employee.dat ends inside a record it held at the start of the "
           "run");
     }},
    {is<Employee::BadSize>, kEmployee,
     [](const Facts&) {
       return employeeFileSize() + " is not a whole number of 60-byte records";
     }},
    {is<Employee::TooLarge>, kEmployee,
     [](const Facts& f) {
       return f.context.startUp
                  ? employeeFileSize() + " is 2 GiB or more: too large"
                  : std::string("employee.dat would grow to 2 GiB: too large");
     }},
    {is<Employee::NoFreeId>, kEmployee,
     [](const Facts&) {
       return std::string(
           "no employee number left to give (2147483647 is taken)");
     }},
    {is<Employee::InUse>, kEmployee,
     [](const Facts&) { return std::string("in use by another run"); }},
    {is<Employee::LockFailed>, kEmployee,
     [](const Facts& f) { return "cannot lock" + f.employee + ": " + f.sys; }},
    {is<Employee::FileChanged>, kEmployee,
     [](const Facts&) {
       return std::string(
           "employee.dat was changed by another program during the run");
     }},
    {is<Array<Employee::Location>::IndexOutOfRange>, kEmployee,
     [](const Facts&) {
       return std::string("internal error: index out of range");
     }},
    {is<std::bad_alloc>, kEmployee,
     [](const Facts&) { return std::string("out of memory"); }},
};

// The words of what a kind refused as it applied, from the reasons table;
// of another standard exception, its own; else empty.
std::string ownWords(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const EmpTrans::Refused& refused) {
    Finding f;
    f.reason = refused.reason;
    return f.what();
  } catch (const std::exception& e) {
    return std::string("internal error: ") + e.what();
  } catch (...) {
  }
  return "";
}

}  // namespace

std::string Diagnostic::what(const std::exception_ptr& error,
                             const Context& context, std::string* file) {
  std::string ignored;
  std::string& at = file != nullptr ? *file : ignored;
  at = Employee::kFileName;
  if (context.finding != nullptr) {
    at = EmpTrans::kFileName;
    return context.finding->what();
  }
  if (!error) return "internal error: no error in flight";
  // At start-up the diagnostic already names employee.dat.
  const Facts facts{context, systemText(causeOf(error)),
                    context.startUp ? "" : " employee.dat"};
  for (const Row& row : kRows) {
    if (row.is(error)) {
      at = row.file;
      return row.words(facts);
    }
  }
  const std::string own = ownWords(error);
  // Whatever it is, the run must still end with a diagnostic.
  return own.empty() ? "internal error: unknown exception" : own;
}

std::string Diagnostic::line(const char* program,
                             const std::exception_ptr& error,
                             const Context& context) {
  std::string file;
  std::string text = what(error, context, &file);
  if (context.startUp)
    return std::string(program) + ":" + file + ": " + text + "\n";
  std::string where = std::to_string(context.line);
  if (const Finding* f = context.finding) {
    where = std::to_string(f->line) + ":" + std::to_string(f->column);
    if (f->line != context.line) {
      text +=
          " (in the transaction of line " + std::to_string(context.line) + ")";
    }
  }
  return std::string(program) + ":emptrans.dat:" + where + ": " + text + "; " +
         std::to_string(context.applied) +
         (context.applied == 1 ? " transaction" : " transactions") +
         " applied before it\n";
}

#include "Diagnostic.h"

#include <new>

#include "Array.h"
#include "Batch.h"
#include "EmpTrans.h"
#include "Employee.h"
#include "Interruption.h"
#include "Journal.h"
#include "SystemCalls.h"
#include "modifstream.h"

namespace {

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
  SystemCalls::Facts facts{};
  if (SystemCalls::look(Employee::kFileName, &facts) != 0) return "its size";
  return "size " + std::to_string(facts.size);
}

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
// the file at fault, and the words, where
//   %e  is " employee.dat", or nothing at start-up (the diagnostic names it)
//   %s  the text of the errno the error carries
//   %z  employee.dat's size, %g what is 2 GiB or more: at start-up its
//       size, later the size it would grow to
//   %o  why emptrans.dat could not be opened, %r why it could not be read
//   %i  the signal that stopped the run.
// An error of no row is worded as the internal error it is.
struct Row {
  bool (*is)(const std::exception_ptr&);
  const char* file;
  const char* words;
};

constexpr const char* kEmployee = Employee::kFileName;
constexpr const char* kTrans = EmpTrans::kFileName;

constexpr Row kRows[] = {
    {is<Batch::Interrupted>, kEmployee, "interrupted by %i"},
    {is<Batch::SameFile>, kTrans, "the same file as employee.dat"},
    {is<EmpTrans::CantOpenFile>, kTrans, "cannot open: %o"},
    {is<modifstream::ReadFailed>, kEmployee, "cannot read emptrans.dat: %r"},
    {is<Employee::NotRegularFile>, kEmployee,
     "cannot open%e: not a regular file"},
    {is<Employee::CantOpenFile>, kEmployee, "cannot open%e: %s"},
    {is<Employee::ReadFailed>, kEmployee, "cannot read%e: %s"},
    {is<Employee::RecordTorn>, kEmployee,
     "cannot write%e: %s, and the record could not be put back as it was"},
    {is<Employee::WriteFailed>, kEmployee, "cannot write%e: %s"},
    {is<Employee::EndOfFile>, kEmployee,
     "employee.dat ends inside a record it held at the start of the run"},
    {is<Employee::BadSize>, kEmployee,
     "%z is not a whole number of 60-byte records"},
    {is<Employee::TooLarge>, kEmployee, "%g: too large"},
    {is<Employee::NoFreeId>, kEmployee,
     "no employee number left to give (2147483647 is taken)"},
    {is<Employee::InUse>, kEmployee, "in use by another run"},
    {is<Employee::LockFailed>, kEmployee, "cannot lock%e: %s"},
    {is<Employee::FileChanged>, kEmployee,
     "employee.dat was changed by another program during the run"},
    {is<Array<Employee::Location>::IndexOutOfRange>, kEmployee,
     "internal error: index out of range"},
    {is<std::bad_alloc>, kEmployee, "out of memory"},
};

// `words` with its marks replaced by what they stand for.
std::string fill(const char* words, const std::exception_ptr& error,
                 const Diagnostic::Context& c) {
  std::string out;
  for (const char* p = words; *p != '\0'; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    const char mark = *++p;
    out += mark == 'e'   ? (c.startUp ? "" : " employee.dat")
           : mark == 'z' ? employeeFileSize()
           : mark == 'g' ? (c.startUp ? employeeFileSize() + " is 2 GiB or more"
                                      : "employee.dat would grow to 2 GiB")
           : mark == 'i' ? Interruption::name(c.signal)
           : mark == 's' ? SystemCalls::errorText(causeOf(error))
           : mark == 'o' ? SystemCalls::errorText(c.openError)
                         : SystemCalls::errorText(c.readError);  // 'r'
  }
  return out;
}

// The words of what a kind refused as it applied, from the reasons table;
// of another standard exception, its own. Whatever it is, the run must
// still end with a diagnostic.
std::string ownWords(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const EmpTrans::Refused& refused) {
    return Finding{.reason = refused.reason}.what();
  } catch (const Journal::Failure& f) {
    return f.file + ": " + f.words;
  } catch (const std::exception& e) {
    return std::string("internal error: ") + e.what();
  } catch (...) {
  }
  return "internal error: unknown exception";
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
  if (context.startUp) {
    try {
      std::rethrow_exception(error);
    } catch (const Journal::Failure& f) {
      at = f.file;
      return f.words;
    } catch (...) {
    }
  }
  for (const Row& row : kRows) {
    if (row.is(error)) {
      at = row.file;
      return fill(row.words, error, context);
    }
  }
  return ownWords(error);
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
  text += "; " + std::to_string(context.applied) +
          (context.applied == 1 ? " transaction" : " transactions") +
          " applied before it";
  // Only a fault needs mending first; a signal only stopped the run.
  const char* fixed =
      error && is<Batch::Interrupted>(error) ? "" : " once it is fixed";
  if (context.journal != nullptr) {
    text += std::string("; to resume, run again with --journal ") +
            context.journal + fixed;
  } else if (context.resumeAt > 0) {
    text += "; resume with --from " + std::to_string(context.resumeAt) + fixed;
  }
  return std::string(program) + ":emptrans.dat:" + where + ": " + text + "\n";
}

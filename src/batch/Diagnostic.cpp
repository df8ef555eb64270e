#include "Diagnostic.h"

#include <new>

#include "Array.h"
#include "Batch.h"
#include "EmpTrans.h"
#include "Employee.h"
#include "Interruption.h"
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

// The words for `error`, and the file at fault when it is emptrans.dat: a
// catch for each error that ends a run, a derived class before its base.
// At start-up the diagnostic itself names employee.dat, so the words leave
// it out. Whatever the error is, the run must still end with a
// diagnostic: one the system does not know is worded as the internal
// error it is.
std::string words(const std::exception_ptr& error, const Diagnostic::Context& c,
                  std::string& file) {
  const std::string e = c.startUp ? "" : " employee.dat";
  const std::string cause = SystemCalls::errorText(causeOf(error));
  try {
    std::rethrow_exception(error);
  } catch (const Batch::Interrupted&) {
    return "interrupted by " + Interruption::name(c.signal) +
           (c.resumeAt > 0
                ? " (resume with --from " + std::to_string(c.resumeAt) + ")"
                : "");
  } catch (const Batch::SameFile&) {
    file = EmpTrans::kFileName;
    return "the same file as employee.dat";
  } catch (const EmpTrans::CantOpenFile&) {
    file = EmpTrans::kFileName;
    return "cannot open: " + SystemCalls::errorText(c.openError);
  } catch (const modifstream::ReadFailed&) {
    return "cannot read emptrans.dat: " + SystemCalls::errorText(c.readError);
  } catch (const Employee::NotRegularFile&) {
    return "cannot open" + e + ": not a regular file";
  } catch (const Employee::CantOpenFile&) {
    return "cannot open" + e + ": " + cause;
  } catch (const Employee::ReadFailed&) {
    return "cannot read" + e + ": " + cause;
  } catch (const Employee::RecordTorn&) {
    return "cannot write" + e + ": " + cause +
           ", and the record could not be put back as it was";
  } catch (const Employee::WriteFailed&) {
    return "cannot write" + e + ": " + cause;
  } catch (const Employee::EndOfFile&) {
    return "employee.dat ends inside a record it held at the start of the run";
  } catch (const Employee::BadSize&) {
    return employeeFileSize() + " is not a whole number of 60-byte records";
  } catch (const Employee::TooLarge&) {
    return c.startUp ? employeeFileSize() + " is 2 GiB or more: too large"
                     : "employee.dat would grow to 2 GiB: too large";
  } catch (const Employee::NoFreeId&) {
    return "no employee number left to give (2147483647 is taken)";
  } catch (const Employee::InUse&) {
    return "in use by another run";
  } catch (const Employee::LockFailed&) {
    return "cannot lock" + e + ": " + cause;
  } catch (const Employee::FileChanged&) {
    return "employee.dat was changed by another program during the run";
  } catch (const Array<Employee::Location>::IndexOutOfRange&) {
    return "internal error: index out of range";
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const EmpTrans::Refused& refused) {
    // Worded from the reasons table, as the reader's findings are.
    return Finding{.reason = refused.reason}.what();
  } catch (const std::exception& other) {
    return std::string("internal error: ") + other.what();
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
  return words(error, context, at);
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

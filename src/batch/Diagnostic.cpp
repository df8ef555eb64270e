#include "Diagnostic.h"

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
  SystemCalls::Facts facts{};
  if (SystemCalls::look(Employee::kFileName, &facts) != 0) return "its size";
  return "size " + std::to_string(facts.size);
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
  const bool startUp = context.startUp;
  // At start-up the diagnostic already names employee.dat.
  const std::string employee = startUp ? "" : " employee.dat";
  const std::string sys = systemText(causeOf(error));
  try {
    if (error) std::rethrow_exception(error);
    return "internal error: no error in flight";
  } catch (const Batch::Interrupted&) {
    return "interrupted by " + Interruption::name(context.signal) +
           (context.resumeAt > 0 ? " (resume with --from " +
                                       std::to_string(context.resumeAt) + ")"
                                 : "");
  } catch (const Batch::SameFile&) {
    at = EmpTrans::kFileName;
    return "the same file as employee.dat";
  } catch (const EmpTrans::CantOpenFile&) {
    at = EmpTrans::kFileName;
    return "cannot open: " + (context.openError == modifstream::kNotRegularFile
                                  ? std::string("not a regular file")
                                  : systemText(context.openError));
  } catch (const EmpTrans::EmpTransErrors&) {
    return "invalid transaction";
  } catch (const modifstream::ReadFailed&) {
    return "cannot read emptrans.dat: " + systemText(context.readError);
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

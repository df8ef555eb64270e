// CommandLine: the command-line conventions the three programs share.
//
// --help prints "Usage: PROGRAM ..." and the help on standard output;
// --version prints "PROGRAM (empupdate) VERSION" and the copyright; both
// end the program with status 0 once standard output is flushed. An
// unknown option, or operands the program does not take, print
// "PROGRAM: what" and "Try 'PROGRAM --help' for more information." on
// standard error and end it with the program's usage status. Output that
// can't be written is reported, with the program's output status.
#ifndef EMPUPDATE_SYS_COMMANDLINE_H_
#define EMPUPDATE_SYS_COMMANDLINE_H_

#include <string>
#include <vector>

class CommandLine {
 public:
  // `usage` follows "Usage: PROGRAM "; `help` is the rest of --help.
  CommandLine(const char* program, const char* usage, const char* help,
              int usageStatus, int outputStatus);

  // Splits argv into the options in `known` and operands ("--" ends
  // options). Returns -1 to go on, or the exit status when the program is
  // done (after --help, --version or a usage error).
  int parse(int argc, char** argv, const std::vector<std::string>& known);

  bool has(const std::string& option) const;
  const std::vector<std::string>& operands() const { return operands_; }
  // Reports a wrong command line; returns the usage status.
  int usageError(const std::string& what) const;
  // Flushes standard output. Returns `status`, or, when the output could
  // not be written, reports it and returns the output status.
  int finish(int status) const;

 private:
  const char* program_;
  const char* usage_;
  const char* help_;
  int usageStatus_;
  int outputStatus_;
  std::vector<std::string> options_;
  std::vector<std::string> operands_;
};

#endif  // EMPUPDATE_SYS_COMMANDLINE_H_

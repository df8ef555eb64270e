// CommandLine: the command-line conventions the three programs share.
//
// --help prints "Usage: PROGRAM ..." and the help on standard output;
// --version prints "PROGRAM (empupdate) VERSION" and the copyright; both
// end the program with status 0 once standard output is flushed. A long
// option may be shortened to any prefix that no other option of the
// program shares ("--vers"); one that takes a value gets it as
// "--opt=VALUE" or as the next argument. An unknown or ambiguous option,
// a value missing or given to an option that takes none, an option that
// takes a value given twice, or operands the program does not take, print
// "PROGRAM: what" and "Try 'PROGRAM --help' for more information." on
// standard error and end it with the usage status, 64 in all three. Output
// that can't be written is reported, with the program's output status.
#ifndef EMPUPDATE_CLI_COMMANDLINE_H_
#define EMPUPDATE_CLI_COMMANDLINE_H_

#include <string>
#include <utility>
#include <vector>

class CommandLine {
 public:
  static constexpr int kUsageStatus = 64;

  // `usage` follows "Usage: PROGRAM "; `help` is the rest of --help.
  CommandLine(const char* program, const char* usage, const char* help,
              int outputStatus)
      : program_(program),
        usage_(usage),
        help_(help),
        outputStatus_(outputStatus) {}

  // Splits argv into the options in `known` and operands ("--" ends
  // options; "-" is an operand). An option that takes a value is listed
  // with a final "=": "--from=". Returns -1 to go on, or the exit status
  // when the program is done (after --help, --version or a usage error).
  int parse(int argc, char** argv, const std::vector<std::string>& known);

  // Whether `option` (its full name, without "=") was given.
  bool has(const std::string& option) const { return value(option) != nullptr; }
  // The value given to `option`; null when it was not given.
  const std::string* value(const std::string& option) const;
  const std::vector<std::string>& operands() const { return operands_; }
  // Whether "--" ended the options.
  bool optionsEnded() const { return optionsEnded_; }
  // The program's name, as its messages start.
  const char* program() const { return program_; }
  // Reports a wrong command line; returns the usage status.
  int usageError(const std::string& what) const;
  // Flushes standard output. Returns `status`, or, when the output could
  // not be written, reports it and returns the output status.
  int finish(int status) const;

 private:
  // Answers --help or --version, `option`, and returns the status to end
  // with.
  int answer(const std::string& option) const;

  const char* program_;
  const char* usage_;
  const char* help_;
  int outputStatus_;
  std::vector<std::pair<std::string, std::string>> options_;  // name, value
  std::vector<std::string> operands_;
  bool optionsEnded_ = false;
};

#endif  // EMPUPDATE_CLI_COMMANDLINE_H_

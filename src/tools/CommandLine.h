// CommandLine: the conventions the companion programs share. --help and
// --version print on standard output and end with status 0; any other
// unknown option, or a wrong number of operands, prints a usage line on
// standard error and ends with status 1.
#ifndef EMPUPDATE_TOOLS_COMMANDLINE_H_
#define EMPUPDATE_TOOLS_COMMANDLINE_H_

#include <string>
#include <vector>

class CommandLine {
 public:
  // `usage` follows "usage: PROGRAM "; `help` is the rest of --help.
  CommandLine(const char* program, const char* usage, const char* help);

  // Splits argv into the options in `known` (each seen at most once) and
  // operands. Returns -1 to go on, or the exit status when the program is
  // done (after --help, --version or a usage error). "--" ends options.
  int parse(int argc, char** argv, const std::vector<std::string>& known);

  bool has(const std::string& option) const;
  const std::vector<std::string>& operands() const { return operands_; }
  // Writes "PROGRAM: what" and the usage line on standard error; returns 1.
  int usageError(const std::string& what) const;

 private:
  const char* program_;
  const char* usage_;
  const char* help_;
  std::vector<std::string> options_;
  std::vector<std::string> operands_;
};

#endif  // EMPUPDATE_TOOLS_COMMANDLINE_H_

#include "CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Display.h"

CommandLine::CommandLine(const char* program, const char* usage,
                         const char* help, int usageStatus, int outputStatus)
    : program_(program),
      usage_(usage),
      help_(help),
      usageStatus_(usageStatus),
      outputStatus_(outputStatus) {}

int CommandLine::parse(int argc, char** argv,
                       const std::vector<std::string>& known) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
      operands_.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--help") {
      std::printf("Usage: %s%s%s\n%s", program_, *usage_ ? " " : "", usage_,
                  help_);
      return finish(0);
    } else if (arg == "--version") {
      std::printf(
          "%s (empupdate) %s\n"
          "Copyright (C) 2026 the empupdate authors.\n"
          "License MIT: see the LICENSE file that comes with it.\n"
          "There is NO WARRANTY, to the extent permitted by law.\n",
          program_, EMP_VERSION);
      return finish(0);
    } else if (std::find(known.begin(), known.end(), arg) != known.end()) {
      options_.push_back(arg);
    } else {
      // Escaped as names are: what was typed may hold control characters.
      return usageError("unknown option '" +
                        Display::name(arg.data(), arg.size()) + "'");
    }
  }
  return -1;
}

bool CommandLine::has(const std::string& option) const {
  return std::find(options_.begin(), options_.end(), option) != options_.end();
}

int CommandLine::usageError(const std::string& what) const {
  std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n",
               program_, what.c_str(), program_);
  return usageStatus_;
}

int CommandLine::finish(int status) const {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  std::fprintf(stderr, "%s: cannot write the output: %s\n", program_,
               std::strerror(errno));
  return outputStatus_;
}

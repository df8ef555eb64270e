#include "CommandLine.h"

#include <algorithm>
#include <cstdio>

CommandLine::CommandLine(const char* program, const char* usage,
                         const char* help)
    : program_(program), usage_(usage), help_(help) {}

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
      std::printf("usage: %s %s\n%s", program_, usage_, help_);
      return std::fflush(stdout) == 0 ? 0 : 2;
    } else if (arg == "--version") {
      std::printf("%s (empupdate) %s\n", program_, EMP_VERSION);
      return std::fflush(stdout) == 0 ? 0 : 2;
    } else if (std::find(known.begin(), known.end(), arg) != known.end()) {
      options_.push_back(arg);
    } else {
      return usageError("unknown option '" + arg + "'");
    }
  }
  return -1;
}

bool CommandLine::has(const std::string& option) const {
  return std::find(options_.begin(), options_.end(), option) != options_.end();
}

int CommandLine::usageError(const std::string& what) const {
  std::fprintf(stderr, "%s: %s\nusage: %s %s\n", program_, what.c_str(),
               program_, usage_);
  return 1;
}

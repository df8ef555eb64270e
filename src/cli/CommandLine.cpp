#include "CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Display.h"

namespace {

// Escaped as names are: what was typed may hold control characters.
std::string shown(const std::string& arg) {
  return Display::name(arg.data(), arg.size());
}

// An option's name, less the "=" that marks one taking a value.
std::string nameOf(const std::string& option) {
  return option.substr(0, option.find('='));
}

// The options of `all` that `typed` names, as getopt_long finds them: the
// option of that exact name, else every one whose name it begins.
std::vector<std::string> matching(const std::string& typed,
                                  const std::vector<std::string>& all) {
  std::vector<std::string> matches;
  for (const std::string& option : all) {
    if (nameOf(option) == typed) return {option};
    if (typed.size() > 2 && nameOf(option).starts_with(typed)) {
      matches.push_back(option);
    }
  }
  return matches;
}

// Their names (two or more) as a sentence lists them: "--list or --live".
std::string listed(const std::vector<std::string>& options) {
  std::string names = nameOf(options[0]);
  for (std::size_t k = 1; k < options.size(); ++k) {
    names += (k + 1 < options.size() ? ", " : " or ") + nameOf(options[k]);
  }
  return names;
}

}  // namespace

int CommandLine::parse(int argc, char** argv,
                       const std::vector<std::string>& known) {
  std::vector<std::string> all = known;
  all.insert(all.end(), {"--help", "--version"});
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded_ || arg == "-" || arg.empty() || arg[0] != '-') {
      operands_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded_ = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string typed = arg.substr(0, equals);
    const std::vector<std::string> matches = matching(typed, all);
    if (matches.empty()) {
      return usageError("unknown option '" + shown(arg) + "'");
    }
    if (matches.size() > 1) {
      return usageError("option '" + shown(typed) +
                        "' is ambiguous: it may be " + listed(matches));
    }
    const std::string name = nameOf(matches[0]);
    const bool takesValue = matches[0].ends_with("=");
    if (equals != std::string::npos && !takesValue) {
      return usageError("option '" + name + "' takes no value");
    }
    if (takesValue && equals == std::string::npos && ++i == argc) {
      return usageError("option '" + name + "' needs a value");
    }
    if (name == "--help" || name == "--version") return answer(name);
    if (takesValue && has(name)) {
      return usageError("option '" + name + "' may be given only once");
    }
    // The value follows the "=", else it is the next argument.
    options_.emplace_back(name, equals != std::string::npos
                                    ? arg.substr(equals + 1)
                                    : std::string(takesValue ? argv[i] : ""));
  }
  return -1;
}

const std::string* CommandLine::value(const std::string& option) const {
  for (const auto& [name, value] : options_) {
    if (name == option) return &value;
  }
  return nullptr;
}

int CommandLine::answer(const std::string& option) const {
  if (option == "--help") {
    std::printf("Usage: %s%s%s\n%s", program_, *usage_ ? " " : "", usage_,
                help_);
  } else {
    std::printf(
        "%s (empupdate) %s\n"
        "Copyright (C) 2026 the empupdate authors.\n"
        "License MIT: see share/doc/empupdate/copyright where it is\n"
        "installed, or the LICENSE file of its source.\n"
        "There is NO WARRANTY, to the extent permitted by law.\n",
        program_, EMP_VERSION);
  }
  return finish(0);
}

int CommandLine::usageError(const std::string& what) const {
  std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n",
               program_, what.c_str(), program_);
  return kUsageStatus;
}

int CommandLine::finish(int status) const {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  std::fprintf(stderr, "%s: cannot write the output: %s\n", program_,
               std::strerror(errno));
  return outputStatus_;
}

// RunProgram: runs a built program in a directory and captures how it
// ended, for the end-to-end tests.
#ifndef EMPUPDATE_TESTS_SUPPORT_RUNPROGRAM_H_
#define EMPUPDATE_TESTS_SUPPORT_RUNPROGRAM_H_

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ScratchDir.h"

struct ProgramResult {
  int status = -1;  // exit status, or 1000 + signal for a death by signal
  std::string err, out;
};

// Starts argv[0] with `argv` in `dir`, standard output and error going to
// `outFile` and `errFile`, under a file-size limit when fsize > 0.
inline pid_t startProgram(const std::vector<std::string>& argv,
                          const std::string& dir, const std::string& outFile,
                          const std::string& errFile, long fsize = 0) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::dup2(out, 1);
  ::dup2(err, 2);
  const int in = ::open("/dev/null", O_RDONLY);
  ::dup2(in, 0);
  if (::chdir(dir.c_str()) != 0) ::_exit(126);
  if (fsize > 0) {
    // A coverage build's profile, cut short by the limit, would spoil the
    // profile of later runs: this run's goes elsewhere.
    ::setenv("GCOV_PREFIX", "/tmp/empupdate-limited-run-profile", 1);
    rlimit lim{rlim_t(fsize), rlim_t(fsize)};
    ::setrlimit(RLIMIT_FSIZE, &lim);
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ::execv(args[0], args.data());
  ::_exit(127);
}

inline int waitStatus(pid_t pid) {
  int w = 0;
  ::waitpid(pid, &w, 0);
  return WIFEXITED(w) ? WEXITSTATUS(w) : 1000 + WTERMSIG(w);
}

// Runs the program to its end. The captured output goes through files
// beside `dir`, named after it.
inline ProgramResult runProgram(const std::vector<std::string>& argv,
                                const std::string& dir, long fsize = 0) {
  const std::string out = dir + ".stdout", err = dir + ".stderr";
  ProgramResult r;
  r.status = waitStatus(startProgram(argv, dir, out, err, fsize));
  r.out = ScratchDir::get(out);
  // A coverage build may complain about its profile; that is not the
  // program's output. Under a size limit the complaint may be cut short.
  r.err = ScratchDir::get(err);
  const std::string noise = "libgcov profiling error:";
  for (std::size_t at; (at = r.err.find(noise)) != std::string::npos;) {
    const std::size_t end = r.err.find('\n', at);
    r.err.erase(at, end == std::string::npos ? end : end + 1 - at);
  }
  const std::size_t tail = r.err.rfind('\n') + 1;  // 0 when no line end
  if (tail < r.err.size() &&
      noise.compare(0, r.err.size() - tail, r.err, tail) == 0) {
    r.err.erase(tail);
  }
  return r;
}

#endif  // EMPUPDATE_TESTS_SUPPORT_RUNPROGRAM_H_

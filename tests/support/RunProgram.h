// RunProgram: runs a built program in a directory, as a user would, and
// captures how it ended. Every child gets a time limit (SIGALRM, kept
// across exec), so a program that hangs fails its test within seconds.
// Output is captured in memory: nothing is left in the temp folder.
#ifndef EMPUPDATE_TESTS_SUPPORT_RUNPROGRAM_H_
#define EMPUPDATE_TESTS_SUPPORT_RUNPROGRAM_H_

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

struct ProgramResult {
  int status = -1;  // exit status, or 1000 + signal for a death by signal
  std::string out, err;
};

struct RunOptions {
  long fsize = 0;          // a file-size limit (a full disk) when > 0
  long nofile = 0;         // a limit on open descriptors when > 0
  bool closedStd = false;  // start with descriptors 0 to 2 closed
  int outFd = -1, errFd = -1;  // where output goes; -1: captured
};

constexpr unsigned kTimeLimitSeconds = 20;

// Starts argv[0] with `argv` in `dir`; standard input is /dev/null.
inline pid_t startProgram(const std::vector<std::string>& argv,
                          const std::string& dir, const RunOptions& o) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  if (::chdir(dir.c_str()) != 0) ::_exit(126);
  const int in = ::open("/dev/null", O_RDONLY);
  ::dup2(in, 0);
  ::dup2(o.outFd >= 0 ? o.outFd : in, 1);
  ::dup2(o.errFd >= 0 ? o.errFd : in, 2);
  ::close_range(3, ~0U, 0);  // nothing inherited from the test runner
  if (o.closedStd) {
    for (int fd = 0; fd <= 2; ++fd) ::close(fd);
  }
  if (o.fsize > 0) {
    // A coverage build's profile, cut short by the limit, would spoil the
    // profile of later runs: this run's is not kept.
    ::setenv("GCOV_PREFIX", "/dev/null/none", 1);
    const rlimit lim{rlim_t(o.fsize), rlim_t(o.fsize)};
    ::setrlimit(RLIMIT_FSIZE, &lim);
  }
  if (o.nofile > 0) {
    const rlimit lim{rlim_t(o.nofile), rlim_t(o.nofile)};
    ::setrlimit(RLIMIT_NOFILE, &lim);
  }
  ::alarm(kTimeLimitSeconds);
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

// All that was written to a memory file.
inline std::string contents(int fd) {
  std::string s;
  char buf[4096];
  for (ssize_t n; (n = ::pread(fd, buf, sizeof buf, off_t(s.size()))) > 0;) {
    s.append(buf, std::size_t(n));
  }
  ::close(fd);
  return s;
}

// A coverage build may complain about a profile it can't write; that is
// not the program's output.
inline std::string withoutProfileNoise(std::string err) {
  const std::string noise = "libgcov profiling error:";
  for (std::size_t at; (at = err.find(noise)) != std::string::npos;) {
    const std::size_t end = err.find('\n', at);
    err.erase(at, end == std::string::npos ? end : end + 1 - at);
  }
  return err;
}

// Runs the program to its end, capturing what `o` does not redirect.
inline ProgramResult runProgram(const std::vector<std::string>& argv,
                                const std::string& dir, RunOptions o = {}) {
  const bool captureOut = o.outFd < 0, captureErr = o.errFd < 0;
  if (captureOut) o.outFd = ::memfd_create("out", MFD_CLOEXEC);
  if (captureErr) o.errFd = ::memfd_create("err", MFD_CLOEXEC);
  ProgramResult r;
  r.status = waitStatus(startProgram(argv, dir, o));
  if (captureOut) r.out = contents(o.outFd);
  if (captureErr) r.err = withoutProfileNoise(contents(o.errFd));
  return r;
}

#endif  // EMPUPDATE_TESTS_SUPPORT_RUNPROGRAM_H_

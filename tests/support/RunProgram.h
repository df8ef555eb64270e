// RunProgram: runs a built program in a directory, as a user would, and
// captures how it ended. A child that has not ended 20 seconds after its
// wait or its tracing began is killed (SIGKILL: the programs catch the
// other signals), so a program that hangs fails its test within seconds.
// Output is captured in memory: nothing is left in the temp folder.
#ifndef EMPUPDATE_TESTS_SUPPORT_RUNPROGRAM_H_
#define EMPUPDATE_TESTS_SUPPORT_RUNPROGRAM_H_

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "ScratchDir.h"

struct ProgramResult {
  int status = -1;  // exit status, or 1000 + signal for a death by signal
  std::string out, err;
};

struct RunOptions {
  long fsize = 0;              // a file-size limit (a full disk) when > 0
  long nofile = 0;             // a limit on open descriptors when > 0
  bool closedStd = false;      // start with descriptors 0 to 2 closed
  bool fullOut = false;        // standard output /dev/full
  int outFd = -1, errFd = -1;  // where output goes; -1: /dev/null, read only
  int ignore = 0;              // a signal ignored at start, when > 0
  std::uint64_t blocked = 0;   // signals blocked at start: bit n - 1, n
  bool brokenErr = false;      // standard error a pipe nobody reads
  bool unprivileged = false;   // as nobody, when the tests run as root
  int signalAtStart = 0;  // sent at main's first system call, when > 0: the
                          // child starts traced, for signalAt()
  // Standard input; closed when empty.
  std::string in = "/dev/null";
};

// Starts argv[0] with `argv` in `dir`.
inline pid_t startProgram(const std::vector<std::string>& argv,
                          const std::string& dir, const RunOptions& o) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int in = ::open("/dev/null", O_RDONLY);
  ::dup2(::open(o.in.empty() ? "/dev/null" : o.in.c_str(), O_RDONLY), 0);
  ::dup2(o.outFd >= 0 ? o.outFd : in, 1);
  ::dup2(o.errFd >= 0 ? o.errFd : in, 2);
  if (o.fullOut) ::dup2(::open("/dev/full", O_WRONLY), 1);
  int ends[2];
  if (o.brokenErr && ::pipe(ends) == 0) ::dup2(ends[1], 2);
  if (o.ignore > 0) ::signal(o.ignore, SIG_IGN);
  sigset_t blocked;
  sigemptyset(&blocked);
  // Where nothing may trace it, the signal comes pending at exec instead.
  const bool untraced =
      o.signalAtStart > 0 && ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0;
  if (untraced) sigaddset(&blocked, o.signalAtStart);
  ::sigprocmask(SIG_SETMASK, &blocked, nullptr);
  // Through the system call, which blocks even the two signals the C
  // library keeps for itself.
  ::syscall(SYS_rt_sigprocmask, SIG_BLOCK, &o.blocked, nullptr, 8);
  if (untraced) ::raise(o.signalAtStart);
  const rlimit noCore{0, 0};  // a core dump would outlive the test
  ::setrlimit(RLIMIT_CORE, &noCore);
  // Status 77 when nobody can't run it here (a build in a private folder).
  if (o.unprivileged && ::geteuid() == 0 &&
      (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 ||
       ::setuid(65534) != 0 || ::access(dir.c_str(), X_OK) != 0 ||
       ::access(argv[0].c_str(), X_OK) != 0))
    ::_exit(77);
  if (o.in.empty()) ::close(0);
  ::close_range(o.closedStd ? 0 : 3, ~0U, 0);  // nothing of the test runner
  // A coverage build's profile, cut short by a size limit, would spoil the
  // profile of later runs: this run's is not kept.
  if (o.fsize > 0) ::setenv("GCOV_PREFIX", "/dev/null/none", 1);
  // LeakSanitizer can't look at a traced process, and ends it with 1.
  const char* asan = std::getenv("ASAN_OPTIONS");
  if (o.signalAtStart > 0)
    ::setenv("ASAN_OPTIONS",
             (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
  for (const auto& [what, n] :
       {std::pair{RLIMIT_FSIZE, o.fsize}, std::pair{RLIMIT_NOFILE, o.nofile}}) {
    const rlimit lim{rlim_t(n), rlim_t(n)};
    if (n > 0) ::setrlimit(what, &lim);
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  if (::chdir(dir.c_str()) == 0) ::execv(args[0], args.data());
  ::_exit(127);
}

// Whether `call` is main's first: fcntl(0, ...), before it reads the
// command line.
inline bool firstOfMain(const __ptrace_syscall_info& call) {
  return call.entry.nr == SYS_fcntl && call.entry.args[0] == 0;
}

// Lets `pid`, started traced, run to the first system call that `at` picks
// (shown the entry of each), sends it `signal` there (SIGKILL ends it before
// the call runs), and lets it go. Returns -1 then, or the status it ended
// with first.
template <typename At>
inline int signalAt(pid_t pid, int signal, At at) {
  const int fd = int(::syscall(SYS_pidfd_open, pid, 0));
  std::promise<void> done;
  std::thread watch([fd, ended = done.get_future()] {
    if (ended.wait_for(std::chrono::seconds(20)) == std::future_status::timeout)
      ::syscall(SYS_pidfd_send_signal, fd, SIGKILL, nullptr, 0);
  });
  int w = 0;
  ::waitpid(pid, &w, 0);  // at its exec
  ::ptrace(PTRACE_SETOPTIONS, pid, 0, PTRACE_O_TRACESYSGOOD);
  for (__ptrace_syscall_info call{}; WIFSTOPPED(w); ::waitpid(pid, &w, 0)) {
    ::ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof call, &call);
    if (call.op == PTRACE_SYSCALL_INFO_ENTRY && at(call)) {
      ::kill(pid, signal);
      ::ptrace(PTRACE_DETACH, pid, 0, 0);
      break;
    }
    const int stop = WSTOPSIG(w) & 0x7f;  // 0x80 marks a system call
    ::ptrace(PTRACE_SYSCALL, pid, 0, stop == SIGTRAP ? 0 : stop);
  }
  done.set_value();
  watch.join();
  ::close(fd);
  if (WIFSTOPPED(w)) return -1;
  return WIFEXITED(w) ? WEXITSTATUS(w) : 1000 + WTERMSIG(w);
}

inline int waitStatus(pid_t pid) {
  int w = 0;
  pollfd ended = {int(::syscall(SYS_pidfd_open, pid, 0)), POLLIN, 0};
  if (::poll(&ended, 1, 20000) == 0) ::kill(pid, SIGKILL);
  ::close(ended.fd);
  ::waitpid(pid, &w, 0);
  return WIFEXITED(w) ? WEXITSTATUS(w) : 1000 + WTERMSIG(w);
}

// All that was written to a memory file, which is then closed.
inline std::string contents(int fd) {
  const std::string s = ScratchDir::get("/proc/self/fd/" + std::to_string(fd));
  ::close(fd);
  return s;
}

// Runs the program to its end, capturing its output. A coverage build's
// complaint about a profile it can't write is not the program's output,
// and is left out.
inline ProgramResult runProgram(const std::vector<std::string>& argv,
                                const std::string& dir, RunOptions o = {}) {
  o.outFd = ::memfd_create("out", MFD_CLOEXEC);
  o.errFd = ::memfd_create("err", MFD_CLOEXEC);
  const pid_t pid = startProgram(argv, dir, o);
  const int ended =
      o.signalAtStart > 0 ? signalAt(pid, o.signalAtStart, firstOfMain) : -1;
  ProgramResult r{ended >= 0 ? ended : waitStatus(pid), contents(o.outFd),
                  contents(o.errFd)};
  for (std::size_t at;
       (at = r.err.find("libgcov profiling error:")) != std::string::npos;) {
    r.err.erase(at, r.err.find('\n', at) + 1 - at);
  }
  return r;
}

#endif  // EMPUPDATE_TESTS_SUPPORT_RUNPROGRAM_H_

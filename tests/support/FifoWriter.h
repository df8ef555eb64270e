// FifoWriter: a FIFO with a writer waiting at its other end, as a program
// that feeds it would be: its open waits for a reader. Any open of the
// FIFO for reading releases the writer, which then says so; released()
// tells whether that happened. The writer is killed with the object.
#ifndef EMPUPDATE_TESTS_SUPPORT_FIFOWRITER_H_
#define EMPUPDATE_TESTS_SUPPORT_FIFOWRITER_H_

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "ScratchDir.h"

class FifoWriter {
 public:
  explicit FifoWriter(const char* name) {
    ::mkfifo(name, 0666);
    if (::pipe2(said_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    pid_ = ::fork();
    // Back once the writer waits in its open (state S, sleeping).
    const std::string stat = "/proc/" + std::to_string(pid_) + "/stat";
    while (pid_ > 0 && ScratchDir::get(stat).find(") S ") == std::string::npos)
      ::usleep(100);
    if (pid_ != 0) return;
    ::alarm(60);  // should the test itself die
    ::_exit(::open(name, O_WRONLY) >= 0 && ::write(said_[1], "r", 1) == 1);
  }
  ~FifoWriter() {
    if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
    ::close(said_[0]);
    ::close(said_[1]);
  }
  FifoWriter(const FifoWriter&) = delete;
  FifoWriter& operator=(const FifoWriter&) = delete;

  bool released() const {
    char c;
    return ::read(said_[0], &c, 1) == 1;
  }

 private:
  int said_[2] = {-1, -1};
  pid_t pid_ = -1;
};

#endif  // EMPUPDATE_TESTS_SUPPORT_FIFOWRITER_H_

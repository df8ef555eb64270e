// FileOverlay against the kernel: the same reads, writes and truncations,
// drawn at random, on an overlay of a file and on a real copy of that
// file, give the same answers and bytes, under a file-size limit or none,
// and the file beneath is never changed. A failing read of the file below
// fails the overlay's read alike.
#include "FileOverlay.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <random>
#include <string>

#include "ScratchDir.h"

namespace {

ssize_t realRead(int fd, void* buffer, std::size_t n, off_t at) {
  return ::pread(fd, buffer, n, at);
}

// The answer of a call, and errno where it failed.
std::string told(ssize_t r) {
  return r < 0 ? "-1 errno " + std::to_string(errno) : std::to_string(r);
}

// Sets the soft file-size limit for the life of the object; a write past it
// fails with EFBIG, and SIGXFSZ is ignored meanwhile.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit now = old_;
    now.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &now);
    signal_ = std::signal(SIGXFSZ, SIG_IGN);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, signal_);
  }

 private:
  rlimit old_{};
  void (*signal_)(int);
};

TEST(FileOverlayTest, AnswersAsTheKernelDoesOnACopy) {
  const ScratchDir dir;
  for (int seed = 0; seed < 40; ++seed) {
    std::mt19937 random(seed);
    auto draw = [&](int n) { return static_cast<int>(random() % n); };
    std::string bytes(draw(1000), '\0');
    for (char& c : bytes) c = static_cast<char>(draw(256));
    ScratchDir::put("below", bytes);
    ScratchDir::put("copy", bytes);
    const int below = ::open("below", O_RDONLY);
    const int copy = ::open("copy", O_RDWR);
    // Half of them under a limit, which some writes reach; some under one
    // the file already passes.
    const FileSizeLimit limit(seed % 2 ? (seed % 4 == 1 ? 400 : 1200)
                                       : RLIM_INFINITY);
    FileOverlay overlay(below, static_cast<std::int64_t>(bytes.size()),
                        realRead);
    for (int step = 0; step < 300; ++step) {
      const int kind = draw(10);
      const std::int64_t size = overlay.size();
      const off_t at = draw(static_cast<int>(size) + 200);
      std::string data(draw(kind < 4 ? 130 : 300), '\0');
      for (char& c : data) c = static_cast<char>(draw(256));
      std::string got(data.size(), '\0'), want(data.size(), '\0');
      std::string a, b;
      if (kind < 4) {
        // Mostly whole records at record positions, as the run writes.
        const off_t where = kind < 3 ? at / 60 * 60 : at;
        if (kind < 3) data.resize(60);
        errno = 0;
        a = told(overlay.pwrite(data.data(), data.size(), where));
        errno = 0;
        b = told(::pwrite(copy, data.data(), data.size(), where));
      } else if (kind == 4) {
        const off_t to = draw(static_cast<int>(size) + 1400);
        a = told(overlay.truncate(to));
        b = told(::ftruncate(copy, to));
      } else {
        a = told(overlay.pread(got.data(), got.size(), at));
        b = told(::pread(copy, want.data(), want.size(), at));
        ASSERT_EQ(got, want) << "seed " << seed << " step " << step;
      }
      ASSERT_EQ(a, b) << "seed " << seed << " step " << step << " kind "
                      << kind;
      ASSERT_EQ(overlay.size(), ::lseek(copy, 0, SEEK_END));
    }
    std::string whole(overlay.size(), '\0');
    ASSERT_EQ(overlay.pread(whole.data(), whole.size(), 0),
              static_cast<ssize_t>(whole.size()));
    EXPECT_EQ(whole, ScratchDir::get("copy")) << "seed " << seed;
    EXPECT_EQ(ScratchDir::get("below"), bytes) << "the file below changed";
    ::close(below);
    ::close(copy);
  }
}

TEST(FileOverlayTest, AReadThatFailsBelowFailsAlike) {
  static bool failing = false;
  const auto read = [](int fd, void* buffer, std::size_t n, off_t at) {
    if (failing) {
      errno = EIO;
      return ssize_t{-1};
    }
    return ::pread(fd, buffer, n, at);
  };
  const ScratchDir dir;
  ScratchDir::put("below", std::string(600, 'x'));
  const int below = ::open("below", O_RDONLY);
  FileOverlay overlay(below, 600, read);
  char record[60] = {'y'};
  ASSERT_EQ(overlay.pwrite(record, 60, 120), 60);
  failing = true;
  char out[100];
  errno = 0;
  EXPECT_EQ(overlay.pread(out, 100, 0), -1);
  EXPECT_EQ(errno, EIO);
  // A piece written part-way must start as the file is, which can't be
  // read: the write fails, and nothing of it is kept.
  EXPECT_EQ(overlay.pwrite(record, 10, 305), -1);
  EXPECT_EQ(errno, EIO);
  failing = false;
  ASSERT_EQ(overlay.pread(out, 60, 300), 60);
  EXPECT_EQ(std::string(out, 60), std::string(60, 'x'));
  // Cut short below by another program: the read is short, as the run's.
  ASSERT_EQ(::truncate("below", 200), 0);
  EXPECT_EQ(overlay.pread(out, 100, 150), 50);
  ::close(below);
}

}  // namespace

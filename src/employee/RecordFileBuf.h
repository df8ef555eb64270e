// RecordFileBuf: an unbuffered stream buffer over a POSIX descriptor of a
// regular file, for the fixed-size records of employee.dat.
//
// Unlike std::filebuf it
// - opens only regular files (a directory, FIFO or device is refused, and a
//   FIFO never blocks the open), and creates a missing file only on request;
// - knows its position without asking the kernel, also after a short or
//   failed read, and reads and writes at it with pread/pwrite: one system
//   call per record, no 8 KiB buffer filled for a 60-byte record;
// - reports every I/O error: a failed read throws out of the buffer (the
//   istream turns that into its bad state), a short write returns short (the
//   ostream turns that into its bad state), and error() keeps the errno.
// The buffer owns its descriptor and closes it when destroyed.
#ifndef EMPUPDATE_EMPLOYEE_RECORDFILEBUF_H_
#define EMPUPDATE_EMPLOYEE_RECORDFILEBUF_H_

#include <cstdint>
#include <streambuf>

class RecordFileBuf : public std::streambuf {
 public:
  enum class Access { kRead, kWrite };
  // error() after open() refused a FIFO, socket or device.
  static constexpr int kNotRegularFile = -1;

  RecordFileBuf() = default;
  ~RecordFileBuf() override;
  RecordFileBuf(const RecordFileBuf&) = delete;
  RecordFileBuf& operator=(const RecordFileBuf&) = delete;

  // Opens `name` at position 0. With `create`, a missing file is created
  // empty (mode 0666 less the umask); an existing file is never truncated.
  // Returns false, with error() set, when the file cannot be opened or is
  // not a regular file.
  bool open(const char* name, Access access, bool create);
  bool isOpen() const { return fd_ >= 0; }
  // Closes the descriptor; false, with error() set, when close reports an
  // error. Closing a closed buffer succeeds.
  bool close();

  // Size of the file when it was opened.
  std::int64_t sizeAtOpen() const { return sizeAtOpen_; }
  // Current size of the open file, or -1 with error() set.
  std::int64_t currentSize();
  // The real position: where the next read or write happens.
  std::int64_t position() const { return pos_; }
  // Cuts the file to `size` bytes; false, with error() set, on failure.
  bool truncate(std::int64_t size);
  // errno of the last failure, 0 while none.
  int error() const { return error_; }
  // The open descriptor, still owned by this buffer; -1 when closed.
  int descriptor() const { return fd_; }

 protected:
  // Records are read and written whole: there is no get or put area, so
  // reads and writes of single characters find the end of the stream.
  std::streamsize xsgetn(char* s, std::streamsize n) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  pos_type seekoff(off_type off, std::ios_base::seekdir dir,
                   std::ios_base::openmode which) override;
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;

 private:
  int fd_ = -1;
  std::int64_t pos_ = 0;
  std::int64_t sizeAtOpen_ = 0;
  int error_ = 0;
};

#endif  // EMPUPDATE_EMPLOYEE_RECORDFILEBUF_H_

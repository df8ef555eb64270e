// TextModeBuf: a read-only stream buffer that reads a file descriptor and
// turns its bytes into the text of a transaction file.
//
// - CR LF reads as LF; a CR not followed by LF reads as itself;
// - byte 0x1A ends the text: it and everything after it are never read;
// - every other byte, NUL included, reads as itself.
//
// It counts the line feeds the reader has consumed, so that a diagnostic can
// name the line and column it is on, and lets the number reader look a few
// characters ahead without consuming them. It owns the descriptor it reads and
// closes it on close() or destruction. A read error throws
// std::ios_base::failure (the istream turns it into its bad state) and error()
// keeps its errno. The descriptor is read and closed through SystemCalls.
#ifndef EMPUPDATE_TRANS_TEXTMODEBUF_H_
#define EMPUPDATE_TRANS_TEXTMODEBUF_H_

#include <sys/types.h>

#include <cstddef>
#include <streambuf>

class TextModeBuf : public std::streambuf {
 public:
  TextModeBuf() { reset(); }
  ~TextModeBuf() override { close(); }
  TextModeBuf(const TextModeBuf&) = delete;
  TextModeBuf& operator=(const TextModeBuf&) = delete;

  // Takes ownership of `fd`, open for reading, and starts reading it from
  // its current position. A descriptor held before is closed.
  void open(int fd);
  // Closes the descriptor; the text then reads as ended.
  void close();
  // The descriptor read, still owned by this object; -1 when closed.
  int descriptor() const { return fd_; }

  // The character k places past the read position (0: the next one), or
  // eof when the text ends before it. Requires k < kSize - 2; the number
  // reader looks at most 16 characters ahead.
  int_type peek(std::size_t k) {
    if (static_cast<std::size_t>(egptr() - gptr()) > k) {
      return traits_type::to_int_type(gptr()[k]);
    }
    return peekSlow(k);
  }
  // The characters from the read position on, at least k of them unless
  // the text ends first: sets *text to the first and returns how many
  // there are. Requires k < kSize - 2.
  std::size_t ahead(std::size_t k, const char** text) {
    if (static_cast<std::size_t>(egptr() - gptr()) < k) peekSlow(k - 1);
    *text = gptr();
    return static_cast<std::size_t>(egptr() - gptr());
  }
  // The character consumed last, or eof when none was; kept across a
  // refill, so that it can always be put back.
  int_type behind() const {
    return gptr() > eback() ? traits_type::to_int_type(gptr()[-1])
                            : traits_type::eof();
  }
  // Consumes n characters that peek() has shown to be there.
  void skip(std::size_t n) { gbump(static_cast<int>(n)); }

  // Line feeds consumed so far: the reader is on line linesConsumed() + 1.
  long linesConsumed();
  // The line of the read position, from 1, and its column on that line,
  // from 1, in characters of the text: bytes of the file, a tab one like
  // any other.
  void place(long& line, long& column);
  // errno of the last read error, 0 while none.
  int error() const { return error_; }
  // Whether text other than white space stood after a 0x1A that ended the
  // text: lost, since nothing after that byte is read.
  bool textAfterEnd() const { return textAfterEnd_; }

 protected:
  int_type underflow() override;
  // Only a move back to the start of the text is supported; it starts the
  // filter afresh. (Any other seek fails, as the base class's does.)
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;

 private:
  static constexpr std::size_t kSize = 8192;

  // Appends filtered text after the unread characters; false when the text
  // has ended and nothing was added.
  bool fill();
  // Appends to `out` the text of the bytes [in, end) read from the file,
  // and returns where it ends.
  char* translate(const char* in, const char* end, char* out);
  // Whether [from, end), or the chunk after it when that is empty, holds
  // anything but white space and 0x1A.
  bool anyText(const char* from, const char* end);
  void reset();
  int_type peekSlow(std::size_t k);
  // read(2) of at most n bytes into raw_, retried when a signal cut it.
  ssize_t readRaw(std::size_t n);

  int fd_ = -1;
  char buf_[kSize];
  char raw_[kSize];
  char* counted_ = buf_;  // line feeds before this point are in lines_
  long lines_ = 0;
  long long base_ = 0;       // the place in the text of buf_[0]
  long long lineStart_ = 0;  // the place in the text where the line starts
  bool ended_ = false;       // the file is exhausted or a 0x1A was met
  bool textAfterEnd_ = false;
  bool pendingCr_ = false;  // a CR whose successor is not yet known
  int error_ = 0;
};

#endif  // EMPUPDATE_TRANS_TEXTMODEBUF_H_

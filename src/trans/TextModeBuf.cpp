#include "TextModeBuf.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ios>
#include <system_error>

#include "SystemCalls.h"

void TextModeBuf::open(int fd) {
  close();
  fd_ = fd;
  reset();
}

void TextModeBuf::close() {
  if (fd_ >= 0)
    systemCalls.close(fd_);  // read only: nothing is lost if it fails
  fd_ = -1;
  reset();
}

ssize_t TextModeBuf::readRaw(std::size_t n) {
  ssize_t got;
  do {
    got = systemCalls.read(fd_, raw_, n);
  } while (got < 0 && errno == EINTR);
  return got;
}

bool TextModeBuf::anyText(const char* from, const char* end) {
  // The rest of the chunk read, then the chunks after it, as far as white
  // space goes: the text has ended, so this reads each byte once at most.
  // A read error only ends the look.
  for (;;) {
    for (; from < end; ++from) {
      const char c = *from;
      if (c != ' ' && (c < '\t' || c > '\r') && c != '\x1A') return true;
    }
    const ssize_t n = readRaw(kSize);
    if (n <= 0) return false;
    from = raw_;
    end = raw_ + n;
  }
}

void TextModeBuf::reset() {
  setg(buf_, buf_, buf_);
  counted_ = buf_;
  lines_ = 0;
  base_ = 0;
  lineStart_ = 0;
  ended_ = fd_ < 0;
  textAfterEnd_ = false;
  pendingCr_ = false;
}

long TextModeBuf::linesConsumed() {
  // What was consumed since the last count is mostly a field or two: a
  // plain loop costs less than a call to memchr for each line in it.
  char* const end = gptr();
  for (const char* p = counted_; p < end; ++p) {
    if (*p == '\n') {
      ++lines_;
      lineStart_ = base_ + (p + 1 - buf_);
    }
  }
  counted_ = end;
  return lines_;
}

void TextModeBuf::place(long& line, long& column) {
  line = linesConsumed() + 1;
  column = static_cast<long>(base_ + (gptr() - buf_) - lineStart_ + 1);
}

bool TextModeBuf::fill() {
  if (ended_) return false;
  // Keep the unread characters, moved to the front of the buffer, after
  // the one consumed last, which can then still be put back.
  linesConsumed();
  const std::size_t kept = gptr() > buf_ ? 1 : 0;
  base_ += gptr() - kept - buf_;
  const std::size_t unread = egptr() - gptr() + kept;
  std::memmove(buf_, gptr() - kept, unread);
  char* out = buf_ + unread;
  setg(buf_, buf_ + kept, out);
  counted_ = buf_ + kept;
  while (out == egptr() && !ended_) {
    // One output character at most per input byte, plus a held-back CR.
    const std::size_t room = kSize - (out - buf_) - 1;
    if (room == 0) break;
    const ssize_t n = readRaw(room);
    if (n < 0) {
      error_ = errno;
      // The istream's bad state; the text is not taken to have ended.
      throw std::ios_base::failure(
          "read", std::error_code(error_, std::system_category()));
    }
    if (n == 0) ended_ = true;
    out = translate(raw_, raw_ + n, out);
    if (ended_ && pendingCr_) {
      *out++ = '\r';
      pendingCr_ = false;
    }
  }
  const bool added = out != egptr();
  setg(buf_, buf_ + kept, out);
  return added;
}

char* TextModeBuf::translate(const char* in, const char* end, char* out) {
  while (in < end && !ended_) {
    if (pendingCr_) {
      pendingCr_ = false;
      if (*in == '\n') {  // CR LF reads as LF
        *out++ = '\n';
        ++in;
        continue;
      }
      *out++ = '\r';
    }
    // Copy the run up to the next CR or 0x1A as it is.
    const char* stop =
        static_cast<const char*>(std::memchr(in, '\r', end - in));
    if (stop == nullptr) stop = end;
    const char* eof =
        static_cast<const char*>(std::memchr(in, '\x1A', stop - in));
    if (eof != nullptr) stop = eof;
    std::memcpy(out, in, stop - in);
    out += stop - in;
    in = stop;
    if (in == end) break;
    if (*in == '\x1A') {
      ended_ = true;
      textAfterEnd_ = anyText(in + 1, end);
    } else {
      pendingCr_ = true;
    }
    ++in;
  }
  return out;
}

TextModeBuf::int_type TextModeBuf::underflow() {
  if (gptr() == egptr() && !fill()) return traits_type::eof();
  return traits_type::to_int_type(*gptr());
}

TextModeBuf::int_type TextModeBuf::peekSlow(std::size_t k) {
  while (static_cast<std::size_t>(egptr() - gptr()) <= k) {
    if (!fill()) return traits_type::eof();
  }
  return traits_type::to_int_type(gptr()[k]);
}

TextModeBuf::pos_type TextModeBuf::seekpos(pos_type pos,
                                           std::ios_base::openmode) {
  if (pos != pos_type(0) || fd_ < 0 || ::lseek(fd_, 0, SEEK_SET) != 0) {
    return pos_type(off_type(-1));
  }
  reset();
  return pos_type(0);
}

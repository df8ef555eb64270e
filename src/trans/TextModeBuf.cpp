#include "TextModeBuf.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

void TextModeBuf::setSource(std::streambuf* source) {
  source_ = source;
  reset();
}

void TextModeBuf::reset() {
  setg(buf_, buf_, buf_);
  counted_ = buf_;
  lines_ = 0;
  ended_ = source_ == nullptr;
  pendingCr_ = false;
}

long TextModeBuf::linesConsumed() {
  lines_ += std::count(counted_, gptr(), '\n');
  counted_ = gptr();
  return lines_;
}

bool TextModeBuf::fill() {
  if (ended_) return false;
  // Keep the unread characters, moved to the front of the buffer.
  linesConsumed();
  const std::size_t unread = egptr() - gptr();
  std::memmove(buf_, gptr(), unread);
  char* out = buf_ + unread;
  setg(buf_, buf_, out);
  counted_ = buf_;
  while (out == egptr() && !ended_) {
    // One output character at most per input byte, plus a held-back CR.
    const std::size_t room = kSize - (out - buf_) - 1;
    if (room == 0) break;
    std::streamsize n = 0;
    try {
      n = source_->sgetn(raw_, static_cast<std::streamsize>(room));
    } catch (...) {
      error_ = errno != 0 ? errno : EIO;
      throw;  // the istream's bad state
    }
    if (n <= 0) {
      ended_ = true;
    }
    for (std::streamsize i = 0; i < n; ++i) {
      const char b = raw_[i];
      if (pendingCr_) {
        pendingCr_ = false;
        *out++ = '\r';
        if (b == '\n') {
          out[-1] = '\n';
          continue;
        }
      }
      if (b == '\x1A') {
        ended_ = true;
        break;
      }
      if (b == '\r') {
        pendingCr_ = true;
        continue;
      }
      *out++ = b;
    }
    if (ended_ && pendingCr_) {
      *out++ = '\r';
      pendingCr_ = false;
    }
  }
  const bool added = out != egptr();
  setg(buf_, buf_, out);
  return added;
}

TextModeBuf::int_type TextModeBuf::underflow() {
  if (gptr() == egptr() && !fill()) return traits_type::eof();
  return traits_type::to_int_type(*gptr());
}

TextModeBuf::int_type TextModeBuf::peek(std::size_t k) {
  while (static_cast<std::size_t>(egptr() - gptr()) <= k) {
    if (!fill()) return traits_type::eof();
  }
  return traits_type::to_int_type(gptr()[k]);
}

TextModeBuf::pos_type TextModeBuf::seekoff(off_type off,
                                           std::ios_base::seekdir dir,
                                           std::ios_base::openmode which) {
  if (dir != std::ios_base::beg) return pos_type(off_type(-1));
  return seekpos(pos_type(off), which);
}

TextModeBuf::pos_type TextModeBuf::seekpos(pos_type pos,
                                           std::ios_base::openmode which) {
  if (pos != pos_type(0) || source_ == nullptr ||
      source_->pubseekpos(0, which) != pos_type(0)) {
    return pos_type(off_type(-1));
  }
  reset();
  return pos_type(0);
}

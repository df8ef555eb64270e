// RecordStream: an iostream over a RecordFileBuf, the stream type of every
// operation on employee.dat.
//
// Opening follows RecordFileBuf::open (regular files only, creation only on
// request, never truncation). The stream owns its buffer and closes the file
// when destroyed; close() reports a failed close instead of hiding it.
#ifndef EMPUPDATE_EMPLOYEE_RECORDSTREAM_H_
#define EMPUPDATE_EMPLOYEE_RECORDSTREAM_H_

#include <iostream>

#include "RecordFileBuf.h"

class RecordStream : public std::iostream {
 public:
  using Access = RecordFileBuf::Access;

  RecordStream() : std::iostream(&buf_) {}

  // False, with error() set, when the file cannot be opened; the stream is
  // then also failed.
  bool open(const char* name, Access access, bool create) {
    if (buf_.open(name, access, create)) return true;
    setstate(std::ios_base::failbit);
    return false;
  }
  bool close() { return buf_.close(); }

  RecordFileBuf& file() { return buf_; }
  int error() const { return buf_.error(); }

 private:
  RecordFileBuf buf_;
};

#endif  // EMPUPDATE_EMPLOYEE_RECORDSTREAM_H_

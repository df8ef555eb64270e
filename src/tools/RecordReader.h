// RecordReader: the records of an employee file by their number (from 0),
// read through a buffer of its own, for a program that walks a file, or
// two side by side, in any order.
//
// A walk in file order reads blocks of 2048 records (30 pages, aligned in
// the file and in memory); a jump elsewhere reads only the 16 records
// around the one wanted, so that a walk in a foreign order costs one small
// read a record, never a whole block.
//
// It reads through the RecordFile it is given, open for reading and owned
// by the caller, which must outlive it. `count` is how many records the
// file held when it was opened; record(n) takes n < count. A read that
// fails, or finds the file no longer holding record n (it shrank),
// throws Failure; the buffer's allocation throws std::bad_alloc.
#ifndef EMPUPDATE_TOOLS_RECORDREADER_H_
#define EMPUPDATE_TOOLS_RECORDREADER_H_

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "RecordFile.h"

class RecordReader {
 public:
  // What stopped a read: the file's name as a diagnostic shows it, and
  // the words that follow it.
  struct Failure {
    std::string file, why;
  };

  // `name`: the file's name as a diagnostic shows it.
  RecordReader(RecordFile& file, std::int64_t count, std::string name);

  std::int64_t count() const { return count_; }
  const std::string& name() const { return name_; }
  // The 60 bytes of record n, valid until the next call.
  const unsigned char* record(std::int64_t n);

 private:
  struct Free {
    void operator()(unsigned char* p) const { std::free(p); }
  };

  RecordFile& file_;
  std::int64_t count_;
  std::string name_;
  std::unique_ptr<unsigned char, Free> buffer_;
  std::int64_t first_ = 0, held_ = 0;  // the records in the buffer
};

#endif  // EMPUPDATE_TOOLS_RECORDREADER_H_

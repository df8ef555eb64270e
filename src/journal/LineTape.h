// LineTape: the text of lines of a file read by another, through that
// reader's descriptor with pread, which leaves the reader's position as it
// is: the journal's record of each transaction's lines of emptrans.dat,
// byte for byte as they stand in the file (the CR of a CR LF included).
//
// Lines are counted from 1, a line feed ending each, as the transaction
// reader counts them. Asked for lines in the order a run reads them, the
// tape reads each part of the file once or twice, whatever the lengths of
// its lines; asked for an earlier line, it starts again from the start.
// A read error throws Journal::Failure.
#ifndef EMPUPDATE_JOURNAL_LINETAPE_H_
#define EMPUPDATE_JOURNAL_LINETAPE_H_

#include <cstdint>
#include <string>
#include <vector>

class LineTape {
 public:
  explicit LineTape(int fd) : fd_(fd), block_(kBlock) {}

  // The hash of lines first to last (without the line feed that ends the
  // last), and their first `keep` bytes in `kept`. A file that ends first
  // gives what there is.
  std::uint64_t lines(long first, long last, std::string& kept,
                      std::size_t keep);
  // The hash and size of the whole file.
  std::uint64_t whole(std::int64_t& bytes);

 private:
  static constexpr std::size_t kBlock = 64 << 10;
  // The bytes of the file from `at` on, as many as the block holds; none
  // at the end of the file.
  std::size_t bytesAt(std::int64_t at, const char** data);
  // Moves to the start of line `line`; false when the file ends first.
  bool moveTo(long line);

  int fd_;
  std::vector<char> block_;
  std::int64_t blockAt_ = 0;  // the file position of block_[0]
  std::size_t blockLength_ = 0;
  long line_ = 1;              // the line whose start is at
  std::int64_t at_ = 0;        // this position
  long first_ = 0, last_ = 0;  // the lines asked for last, and
  std::uint64_t hash_ = 0;     // their hash
  std::string kept_;
};

#endif  // EMPUPDATE_JOURNAL_LINETAPE_H_

// Pairing: the records of two employee files, OLD and NEW, paired by
// employee number: the k-th record holding a number in OLD with the k-th
// holding it in NEW, so that a repeated number pairs in file order.
//
// visit() shows a visitor every record of NEW, in NEW's order, with the
// record of OLD it is paired with, if any, then every record of OLD
// paired with none, in OLD's order. A pair whose 60 bytes are the same is
// left out, as no difference. It may be called again, for another pass
// over the same files.
//
// When the numbers of both files ascend (never fall from one record to the
// next, as in every file that only ever grew by adds), the files are read
// side by side, in blocks, in constant memory: NEW's pass once, and OLD's
// lone records in a second pass when there are any. Otherwise each file
// gets an index of 8 bytes a record (number and place), sorted, from
// which the pairs are made once, in O(n log n); the visits then read NEW in
// order and OLD where each pair leads.
//
// The readers are the caller's, and must outlive the object. The
// constructor reads both files' numbers once. Everything reads through
// the readers and throws what they throw; an index that can't be had
// throws RecordReader::Failure for the file it was made for.
#ifndef EMPUPDATE_TOOLS_PAIRING_H_
#define EMPUPDATE_TOOLS_PAIRING_H_

#include <cstdint>
#include <vector>

#include "Employee.h"
#include "RecordReader.h"

class Pairing {
 public:
  class Visitor {
   public:
    virtual ~Visitor() = default;
    // Record `at` of NEW (`after`), and the record of OLD paired with it,
    // or null when OLD holds none; `first`: that record is the first of
    // OLD's that hold its number.
    virtual void paired(const Employee* before, const Employee& after,
                        bool first, std::int64_t at) = 0;
    // A record of OLD that NEW holds no record for.
    virtual void removed(const Employee& before) = 0;
  };

  Pairing(RecordReader& old, RecordReader& now);

  void visit(Visitor& v);
  // Whether the files are read side by side: NEW's records paired with
  // none then come in the order of their numbers.
  bool streamed() const { return streamed_; }
  // The highest employee number of OLD, or 0 when none is above 0: the
  // adds of a run on OLD get the numbers after it.
  std::int32_t highest() const { return highest_; }

 private:
  struct Entry {
    std::int32_t id, at;  // in the index: the number and the place
  };

  // Whether the numbers of `r` ascend; `high` gets the highest, or 0.
  static bool ascends(RecordReader& r, std::int32_t& high);
  // The index of `r`, sorted by number, then place.
  static std::vector<Entry> indexOf(RecordReader& r);
  // Pairs the two sorted indexes: leaves in newIndex_, at each NEW
  // record's place, where its partner in OLD stands (coded as Pairing.cpp
  // says), and in oldIndex_ the places of OLD's lone records, in order.
  void pairIndexes();
  // One pass side by side: the pairs and NEW's lone records, or, when
  // `lone`, only OLD's lone records.
  void stream(Visitor& v, bool lone);
  void visitIndexed(Visitor& v);

  RecordReader &old_, &new_;
  bool streamed_;
  std::int32_t highest_ = 0;
  std::int64_t lone_ = 0;  // OLD's records paired with none
  std::vector<Entry> oldIndex_, newIndex_;
};

#endif  // EMPUPDATE_TOOLS_PAIRING_H_

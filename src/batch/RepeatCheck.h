// RepeatCheck: for a dry run, what a batch repeats of the file it applies
// to, which only the records show: an add equal in every field (the name
// up to its NUL, category, amount, date) to a live employee, or to an
// earlier add of the batch; and a batch whose first transactions look
// applied already, as when a batch that stopped part-way is run again
// whole instead of with --from.
//
// Both are judged against employee.dat as it was before the run, so that
// no transaction of the batch hides or makes a repeat: the constructor
// notes how many records the file holds, before the run, and the first
// time the batch touches a live record its former fields are kept. The
// batch's adds are kept by their fields; warnings() then compares them
// with the file's live records in one scan of it (none for a batch without
// adds). What it keeps grows with the batch, never with the file.
//
// It reads employee.dat through the run's own opens (the dry run's copy in
// memory). Nothing is thrown: a file that can't be read makes no warning.
#ifndef EMPUPDATE_BATCH_REPEATCHECK_H_
#define EMPUPDATE_BATCH_REPEATCHECK_H_

#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include "EmpTrans.h"
#include "Employee.h"
#include "Finding.h"
#include "Reading.h"

class RepeatCheck {
 public:
  // Before the run.
  RepeatCheck();

  // `t`, read as `r`, has applied; `before` is the record it loaded first,
  // for a kind written with an employee number.
  void applied(const EmpTrans& t, const Reading& r,
               const std::optional<Employee>& before);
  // A transaction starting on `line` failed and was left out.
  void failed(long line);
  // No transaction is left.
  void ended();

  // After the run: the warnings, in line order.
  std::vector<Finding> warnings() const;

 private:
  // An add's or a record's fields, as they are compared.
  struct Key {
    char name[Employee::kNameBytes];  // up to its NUL, zeros after it
    std::int32_t category, amount, year, month, day;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& k) const;
  };
  static Key keyOf(const char* name, std::int32_t category, std::int32_t amount,
                   const Date& date);
  static Key keyOf(const Employee& e);

  struct Add {
    Key key;
    long line, column;  // of its type letter
    long lastBefore;    // line of the transaction before it, while all
                        // before it look applied; else -1
  };
  // The first live employee of the file before the run that equals the
  // key, if any, how many do, and the line of the first add of it.
  struct Match {
    std::optional<std::int32_t> employee;
    long firstAdd;
    std::int64_t live = 0;
  };
  using Matches = std::unordered_map<Key, Match, KeyHash>;

  // Finds, for each key of `matches`, its first live employee.
  void scan(Matches& matches) const;
  // The warning of the first transactions that look applied, if they do,
  // and the line of the last of them (0: none). Each live employee accounts
  // for one add of them at most: those it takes are counted off `matches`.
  long looksApplied(Matches& matches, std::vector<Finding>& out) const;

  std::int64_t records_ = 0;  // in employee.dat before the run
  // The fields of each record the batch touched, as they were before it,
  // by position: only of the live ones, since no transaction makes a
  // deleted employee live.
  std::map<std::int32_t, Key> images_;
  std::vector<Add> adds_;
  long first_ = 0;  // line of the first transaction applied
  long last_ = 0;   // of the last one of those that look applied so far
  long stop_ = -1;  // of the first that does not, 0 at the end, -1 not yet
};

#endif  // EMPUPDATE_BATCH_REPEATCHECK_H_

#include "RunJournal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "EmpTrans.h"
#include "RecordFile.h"
#include "Replay.h"

namespace {

std::string linesText(long first, long last) {
  return first == last
             ? "line " + std::to_string(first)
             : "lines " + std::to_string(first) + " to " + std::to_string(last);
}

}  // namespace

void RunJournal::refuse(const std::string& file,
                        const std::string& words) const {
  throw Journal::Failure{file, words};
}

void RunJournal::prepare(long& startLine, bool fromGiven) {
  journal_.open(true);
  const std::string name = journal_.shown();
  SystemCalls::Facts trans{};
  if (Employee::holds(journal_.descriptor())) {
    refuse(name, "the journal cannot be employee.dat");
  }
  if (SystemCalls::look(EmpTrans::kFileName, &trans) == 0 &&
      trans.device == journal_.facts().device &&
      trans.inode == journal_.facts().inode) {
    refuse(name, "the journal cannot be emptrans.dat");
  }
  journal_.take();
  // Nothing written yet: whatever it holds is begun afresh.
  if (!journal_.started() || journal_.records().empty()) return;
  fresh_ = false;
  if (journal_.undoBegun()) {
    refuse(name, journal_.undone()
                     ? "the journal records a run taken back since; name "
                       "another journal to run a batch again"
                     : "the journal records a run whose undo was "
                       "interrupted; finish it first: empundo " +
                           name);
  }
  const long recorded = static_cast<long>(journal_.header().startLine);
  if (fromGiven && std::max(startLine, 1L) != recorded) {
    refuse(name, "the journal records a run that started at line " +
                     std::to_string(recorded) +
                     " of emptrans.dat; leave --from out to resume it");
  }
  startLine = recorded > 1 ? recorded : 0;
  takeUp();
}

void RunJournal::takeUp() {
  const Replay replay(journal_);
  RecordFile file;
  if (!file.open(Employee::kFileName, RecordFile::Access::kReadWrite, false) ||
      !Employee::holds(file.descriptor())) {
    refuse(Employee::kFileName,
           "cannot open: " + SystemCalls::errorText(file.error()));
  }
  const Replay::Verdict v = replay.check(file, false);
  if (!v.mismatch.empty()) {
    refuse(Employee::kFileName,
           v.mismatch + "; so the run that " + journal_.shown() +
               " records cannot go on (a journal of another batch? name "
               "another)");
  }
  // The write the run was stopped in is made afresh, with its entry.
  if (v.last == Replay::Last::kTorn) replay.putBackLast(file);
  if (v.last == Replay::Last::kTorn || v.last == Replay::Last::kNotDone) {
    journal_.dropLast();
  }
  if (!file.close()) {
    refuse(Employee::kFileName,
           "cannot write: " + SystemCalls::errorText(file.error()));
  }
}

std::function<void(const unsigned char*, std::size_t)> RunJournal::scanner() {
  if (!fresh_) return {};
  return [this](const unsigned char* bytes, std::size_t n) {
    fileHash_.add(bytes, n);
    fileBytes_ += static_cast<std::int64_t>(n);
  };
}

long RunJournal::resume(Reading& reading, long startLine) {
  const int trans = EmpTrans::descriptor();
  SystemCalls::Facts facts{};
  if (systemCalls.stat(trans, &facts) == 0 &&
      facts.device == journal_.facts().device &&
      facts.inode == journal_.facts().inode) {
    refuse(journal_.shown(), "the journal cannot be emptrans.dat");
  }
  tape_ = std::make_unique<LineTape>(trans);
  if (fresh_) {
    Journal::Header h;
    h.startLine = std::max(startLine, 1L);
    h.batchHash = tape_->whole(h.batchBytes);
    h.fileBytes = fileBytes_;
    h.fileHash = fileHash_.value();
    journal_.start(h);
  }
  const std::vector<Journal::Entry>& applied = journal_.records();
  for (const Journal::Entry& e : applied) {
    try {
      EmpTrans::get(reading);
    } catch (EmpTrans::NoMore&) {
      differs(reading.started(), e);
    } catch (modifstream::ReadFailed&) {
      throw;
    } catch (...) {
      differs(reading.line(), e);
    }
    std::string ignored;
    const long last = EmpTrans::lastLineRead();
    if (reading.line() != e.line || last != e.lastLine ||
        tape_->lines(e.line, last, ignored, 0) != e.textHash) {
      differs(reading.line(), e);
    }
  }
  if (!applied.empty()) {
    // Whether the operator fixed the batch since, or runs it again as is.
    std::int64_t bytes = 0;
    const std::uint64_t hash = tape_->whole(bytes);
    const Journal::Header& h = journal_.header();
    std::fprintf(
        stderr,
        "empupdate: note: %s: resuming after %s of emptrans.dat: "
        "%zu %s applied by an earlier run, which found emptrans.dat %s\n",
        journal_.shown().c_str(),
        linesText(applied.front().line, applied.back().lastLine).c_str(),
        applied.size(),
        applied.size() == 1 ? "transaction was" : "transactions were",
        bytes == h.batchBytes && hash == h.batchHash ? "as it is now"
                                                     : "otherwise");
  }
  Employee::setWriteAhead(this);
  return static_cast<long>(applied.size());
}

void RunJournal::differs(long line, const Journal::Entry& e) const {
  const std::vector<Journal::Entry>& applied = journal_.records();
  const long from = applied.front().line, to = applied.back().lastLine;
  refuse("emptrans.dat:" + std::to_string(line),
         "not the transaction that " + journal_.shown() +
             " records as applied at " + linesText(e.line, e.lastLine) +
             ": the batch has changed in lines applied already (" +
             linesText(from, to) + ", " + std::to_string(applied.size()) +
             " transactions); take them back first (empundo " +
             journal_.shown() + "), or apply the rest with --from " +
             std::to_string(to + 1) + " and another journal");
}

void RunJournal::beforeWrite(std::int32_t at, bool appending,
                             const unsigned char* before,
                             const unsigned char* after) {
  if (!appending && before == nullptr) {
    refuse(journal_.shown(),
           "internal error: a record written without being read first");
  }
  // One entry, its text's room kept from one write to the next.
  Journal::Entry& e = entry_;
  e.tag = appending ? Journal::Tag::kAppend : Journal::Tag::kWrite;
  e.line = first_;
  e.lastLine = last_;
  e.position = at;
  if (before != nullptr) {
    std::memcpy(e.before, before, Journal::kRecord);
  } else {
    std::memset(e.before, 0, Journal::kRecord);
  }
  std::memcpy(e.after, after, Journal::kRecord);
  e.textHash = tape_->lines(first_, last_, e.text, Journal::kTextKept);
  journal_.append(e);
}

// Reads arbitrary bytes as a journal, as empundo does, against a small
// employee.dat: the reader and the replay refuse what they can't use
// (Journal::Failure), never crash, hang or take memory beyond the
// journal's size, and an undo they allow never grows the file or writes
// past what the journal's run found.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Journal.h"
#include "RecordText.h"
#include "Replay.h"
#include "ScratchDir.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static const ScratchDir dir;  // current while the fuzzer runs
  static const std::string start = record_text::toBytes(
      "1 0 \"a\" 0 5 2000/1/1\n2 0 \"b\" 1 6 2000/1/1\n3 1 \"c\" 0 7 "
      "2000/1/1\n");
  ScratchDir::put(Employee::kFileName, start);
  ScratchDir::put("j", std::string(data, data + size));
  try {
    Journal journal("j");
    journal.open(false);
    journal.take();
    if (!journal.started()) return 0;
    const Replay replay(journal);
    RecordFile file;
    if (!file.open(Employee::kFileName, RecordFile::Access::kReadWrite,
                   false)) {
      __builtin_trap();
    }
    if (!replay.check(file, journal.undoBegun()).mismatch.empty()) return 0;
    replay.undo(file);
    const std::int64_t now = file.currentSize();
    if (now > std::int64_t(start.size()) || now < 0) __builtin_trap();
  } catch (const Journal::Failure&) {
  }
  return 0;
}

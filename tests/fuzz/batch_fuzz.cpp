// Runs a whole batch through the engine empupdate uses, on arbitrary bytes
// as emptrans.dat against a small employee.dat, then checks what the run
// left: it ended as a run may (all applied, stopped at an unknown employee,
// or an error: never "can't open"), employee.dat is whole records and did
// not shrink, and every record no transaction named is as it was.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "Batch.h"
#include "Employee.h"
#include "LittleEndian.h"
#include "RecordText.h"
#include "ScratchDir.h"

namespace {

// Notes the employee numbers the batch names.
struct Named : Batch::Observer {
  std::set<std::int32_t> ids;
  void before(const EmpTrans& t, const Reading&) override { ids.insert(t.id); }
  void after(const EmpTrans&, const Reading&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static const ScratchDir dir;  // current while the fuzzer runs
  // Employee numbers 3, 7 twice, -2, 0 and a deleted 9.
  static const std::string start = record_text::toBytes(
      "3 0 \"a\" 0 0 2000/1/1\n7 0 \"b\" 0 0 2000/1/1\n"
      "7 0 \"c\" 0 0 2000/1/1\n-2 0 \"d\" 0 0 2000/1/1\n"
      "0 0 \"e\" 0 0 2000/1/1\n9 1 \"f\" 0 0 2000/1/1\n");
  ScratchDir::put(Employee::kFileName, start);
  ScratchDir::put(EmpTrans::kFileName, std::string(data, data + size));
  Employee::resetIndex();

  Named named;
  Batch batch;
  if (batch.run(&named).status == 1) __builtin_trap();

  const std::string now = ScratchDir::get(Employee::kFileName);
  const std::size_t n = Employee::kRecordBytes;
  if (now.size() % n != 0 || now.size() < start.size()) __builtin_trap();
  // A change or delete reaches the first record holding its number only.
  std::set<std::int32_t> seen;
  for (std::size_t at = 0; at < start.size(); at += n) {
    const std::int32_t id =
        le32::get(reinterpret_cast<const unsigned char*>(start.data() + at));
    const bool reachable = seen.insert(id).second && named.ids.count(id);
    if (!reachable && now.compare(at, n, start, at, n) != 0) __builtin_trap();
  }
  return 0;
}

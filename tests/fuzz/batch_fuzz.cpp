// Runs a whole batch through the engine empupdate uses, on arbitrary bytes
// as emptrans.dat against a small employee.dat, then checks what the run
// left: it ended as a run may (all applied, stopped at an unknown employee,
// or an error: never "can't open"), employee.dat is whole records and did
// not shrink, and every record no transaction named is as it was.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <set>
#include <string>

#include "Batch.h"
#include "Employee.h"
#include "FuzzDir.h"
#include "LittleEndian.h"

namespace {

// Employee numbers 3, 7, 7 (a duplicate), -2, 0 and a deleted 9.
std::string startFile() {
  std::string bytes;
  for (std::int32_t id : {3, 7, 7, -2, 0, 9}) {
    Employee e;
    e.setName(std::string(1, char('a' + bytes.size() / 60)).c_str());
    e.setDeleted(id == 9);
    unsigned char r[Employee::kRecordBytes];
    e.encode(r);
    le32::put(r, id);
    bytes.append(reinterpret_cast<char*>(r), sizeof r);
  }
  return bytes;
}

// Notes the employee numbers the batch names.
struct Named : Batch::Observer {
  std::set<std::int32_t> ids;
  void before(const EmpTrans& t) override { ids.insert(t.id); }
  void after(const EmpTrans&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static const std::string start = startFile();
  enterFuzzDir();
  std::cerr.rdbuf(nullptr);  // the unknown-employee message is expected
  putFile(Employee::kFileName, start.data(), start.size());
  putFile(EmpTrans::kFileName, data, size);
  Employee::resetIndex();

  Named named;
  if (Batch::run(&named).status == 1) __builtin_trap();

  const std::string now = getFile(Employee::kFileName);
  if (now.size() % Employee::kRecordBytes != 0 || now.size() < start.size()) {
    __builtin_trap();
  }
  // A change or delete reaches the first record holding its number only.
  std::set<std::int32_t> seen;
  for (std::size_t at = 0; at < start.size(); at += Employee::kRecordBytes) {
    Employee e;
    e.decode(reinterpret_cast<const unsigned char*>(start.data() + at), 60);
    const bool reachable =
        seen.insert(e.getId()).second && named.ids.count(e.getId());
    if (!reachable && now.compare(at, Employee::kRecordBytes, start, at,
                                  Employee::kRecordBytes) != 0) {
      __builtin_trap();
    }
  }
  return 0;
}

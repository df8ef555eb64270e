// Runs a whole batch, as empupdate's main does, on arbitrary bytes as
// emptrans.dat against a small employee.dat, then checks what the run left:
// it ended as a run may (all applied, stopped at an unknown employee, or an
// error: never "can't open"), employee.dat is whole records and did not
// shrink, and every record no transaction named is byte for byte as it was.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <set>
#include <string>

#include "EmpTrans.h"
#include "Employee.h"
#include "FuzzDir.h"
#include "LittleEndian.h"

namespace {

// Employee numbers 3, 7, 7 (a duplicate), -2, 0 and a deleted 9.
std::string startFile() {
  const std::int32_t ids[] = {3, 7, 7, -2, 0, 9};
  std::string bytes;
  for (std::int32_t id : ids) {
    unsigned char r[Employee::kRecordBytes] = {};
    le32::put(r, id);
    le32::put(r + 4, id == 9);
    r[8] = static_cast<unsigned char>('a' + bytes.size() / 60);
    le32::put(r + 48, 1990);
    le32::put(r + 52, 13);
    bytes.append(reinterpret_cast<char*>(r), sizeof r);
  }
  return bytes;
}

std::string readFile() {
  std::ifstream in(Employee::kFileName, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static const std::string start = startFile();
  enterFuzzDir();
  std::cerr.rdbuf(nullptr);  // the unknown-employee message is expected
  putFile(Employee::kFileName, start.data(), start.size());
  putFile(EmpTrans::kFileName, data, size);
  Employee::resetIndex();

  std::set<std::int32_t> named;  // employee numbers the batch named
  try {
    Employee::buildIndex();
    EmpTrans::openFile();
    try {
      for (;;) {
        auto t = EmpTrans::get();
        named.insert(t->id);
        t->process();
      }
    } catch (EmpTrans::NoMore&) {
    } catch (Employee::NoSuch&) {
    }
  } catch (Employee::CantOpenFile&) {
    __builtin_trap();  // both files exist and are regular: never status 1
  } catch (EmpTrans::CantOpenFile&) {
    __builtin_trap();
  } catch (...) {
    // Status 2: an error that ends the run.
  }
  EmpTrans::closeFile();

  const std::string now = readFile();
  if (now.size() % Employee::kRecordBytes != 0 || now.size() < start.size()) {
    __builtin_trap();
  }
  // A change or delete reaches the first record holding its number only.
  std::set<std::int32_t> seen;
  for (std::size_t at = 0; at < start.size(); at += Employee::kRecordBytes) {
    const auto id =
        le32::get(reinterpret_cast<const unsigned char*>(start.data() + at));
    const bool reachable = seen.insert(id).second && named.count(id);
    if (!reachable && now.compare(at, Employee::kRecordBytes, start, at,
                                  Employee::kRecordBytes) != 0) {
      __builtin_trap();
    }
  }
  return 0;
}

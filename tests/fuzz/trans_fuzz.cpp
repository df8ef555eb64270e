// Reads arbitrary bytes as emptrans.dat through EmpTrans::get until it
// raises. Any crash, hang, leak or undefined behaviour is a finding.
#include <cstddef>
#include <cstdint>

#include "EmpTrans.h"
#include "ScratchDir.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static const ScratchDir dir;  // current while the fuzzer runs
  ScratchDir::put(EmpTrans::kFileName, std::string(data, data + size));
  EmpTrans::openFile();
  long line = 1;
  try {
    for (std::size_t n = 0;; ++n) {
      auto t = EmpTrans::get();
      // Each transaction starts on a later line or the same one, and there
      // can't be more transactions than bytes.
      if (EmpTrans::line() < line || n > size) __builtin_trap();
      line = EmpTrans::line();
    }
  } catch (...) {
    // Every error class ends the reading; which one is not the point here.
  }
  EmpTrans::closeFile();
  return 0;
}

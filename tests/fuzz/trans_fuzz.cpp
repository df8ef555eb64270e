// Reads arbitrary bytes as emptrans.dat through EmpTrans::get to the end,
// going on past each transaction that fails as the dry run does. Any crash,
// hang, leak or undefined behaviour is a finding.
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
  Reading r;
  // Read as the dry run reads: on past each transaction that fails, where
  // the recovery ends it.
  for (std::size_t n = 0;; ++n) {
    try {
      auto t = EmpTrans::get(r);
    } catch (const EmpTrans::NoMore&) {
      break;
    } catch (...) {
      // A syntax error has its finding, whose words can be made; any other
      // error ends the reading.
      if (r.error() == nullptr) break;
      if (r.error()->what().empty()) __builtin_trap();
      EmpTrans::skipFailed(r);
    }
    // Each transaction starts on a later line or the same one, and there
    // can't be more transactions than bytes.
    if (r.line() < line || n > size) __builtin_trap();
    line = r.line();
  }
  EmpTrans::closeFile();
  return 0;
}

// The table of the kinds of transaction, in the order a summary counts them.
// Each kind's entry is defined in its own file beside this one; a new kind
// is that file and a row here.
#include "EmpTrans.h"

extern const EmpTrans::Kind kAddKind, kChangeKind, kDeleteKind;

namespace {

const EmpTrans::Kind* const kKinds[] = {
    &kAddKind,
    &kChangeKind,
    &kDeleteKind,
};

}  // namespace

std::span<const EmpTrans::Kind* const> EmpTrans::kinds() { return kKinds; }

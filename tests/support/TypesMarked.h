// typesMarked: a program's or reader's text with the list of the type
// letters ("A, C or D") as {types}, so that the cases that quote it need
// not change with the kinds of transaction. Needs the trans library.
#ifndef EMPUPDATE_TESTS_SUPPORT_TYPESMARKED_H_
#define EMPUPDATE_TESTS_SUPPORT_TYPESMARKED_H_

#include <string>

#include "EmpTrans.h"

inline std::string typesMarked(std::string text) {
  const std::string letters = EmpTrans::letters();
  for (auto at = text.find(letters); at != std::string::npos;
       at = text.find(letters, at)) {
    text.replace(at, letters.size(), "{types}");
  }
  return text;
}

#endif  // EMPUPDATE_TESTS_SUPPORT_TYPESMARKED_H_

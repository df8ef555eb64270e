// JsonReport: empcheck's report for programs, as JSON Lines: one object a
// line, the first naming the format and its version, each after it saying
// what it is in its "type" member:
//   {"format":"empcheck-plan","version":1}
//   {"type":"transaction","line":1,"kind":"add","employee":10,
//    "before":null,"after":{"name":"Ann","category":"H","amount":500,
//    "date":"1999-05-17","deleted":0}}
//   {"type":"diagnostic","file":"emptrans.dat","line":4,"column":3,
//    "severity":"warning","words":"..."}
//   {"type":"summary","counts":{"add":1,...},"end":"error",...}
// (each one line). A name is given as empdump shows it (Display::name);
// when that form is not the name's bytes, "name_hex" gives the bytes too.
// Every string is valid UTF-8 in which no character a terminal would act
// on stands unescaped. Writes as ReportWriter says; the constructor
// writes the first line.
#ifndef EMPUPDATE_TOOLS_JSONREPORT_H_
#define EMPUPDATE_TOOLS_JSONREPORT_H_

#include "ReportWriter.h"

class JsonReport : public ReportWriter {
 public:
  static constexpr int kVersion = 1;

  JsonReport();
  void step(const Step& s) override;
  void diagnostic(const Diagnostic& d) override;
  void summary(const Summary& s) override;
};

#endif  // EMPUPDATE_TOOLS_JSONREPORT_H_

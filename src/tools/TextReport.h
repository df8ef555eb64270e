// TextReport: empcheck's report for a person. Each transaction and each
// diagnostic is one line in GNU form, "emptrans.dat:LINE: add 10: ..." or
// "emptrans.dat:LINE:COLUMN: error: ...", and the summary is told in
// sentences after them. Writes as ReportWriter says.
#ifndef EMPUPDATE_TOOLS_TEXTREPORT_H_
#define EMPUPDATE_TOOLS_TEXTREPORT_H_

#include "ReportWriter.h"

class TextReport : public ReportWriter {
 public:
  void step(const Step& s) override;
  void diagnostic(const Diagnostic& d) override;
  void summary(const Summary& s) override;

 private:
  static void totals(const Totals& t);
};

#endif  // EMPUPDATE_TOOLS_TEXTREPORT_H_

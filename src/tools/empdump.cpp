// empdump: shows the records of an employee file as an aligned table or as
// CSV. It only reads: it never creates or changes the file.
//
// A name is shown as Display shows it, and so is the file's name in a
// diagnostic. The CSV is safe for a spreadsheet unless --raw asks for each
// name's exact bytes.
//
// FILE "-" is standard input: a pipe or a terminal is read to its end into
// memory first, since the table reads the records twice; one that holds
// more than the largest employee file (2^31 - 1 bytes), or was closed
// when the program started, is an error.
//
// --totals shows the file's control totals (FileTotals) instead of its
// records.
//
// Exit status: 0 when the records were shown (a damaged last record is
// reported on standard error, the whole records still shown); 1 when the
// file can't be read, or shrank while it was read; 64 when the command
// line is wrong; 74 when the output can't be written.
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "CommandLine.h"
#include "Display.h"
#include "Employee.h"
#include "FileTotals.h"
#include "RecordFile.h"
#include "StandardDescriptors.h"
#include "SystemCalls.h"

namespace {

constexpr int kOutputStatus = 74;
constexpr int kColumns = 7;
// The columns of numbers: right-aligned (text is left-aligned), and never
// guarded in CSV, since a spreadsheet reads -7 as a number.
constexpr bool kNumeric[kColumns] = {true,  true, false, false,
                                     false, true, false};

const char kHelp[] =
    "Shows the records of FILE (default employee.dat; - reads standard\n"
    "input), one per line: its byte position, employee number, live or\n"
    "deleted, name, category, amount and date. A name in UTF-8 is shown\n"
    "as it is; a byte that is not valid UTF-8, or is part of a control\n"
    "character or of one that reorders the line or shows nothing, is\n"
    "shown as \\xNN, and a backslash as \\\\.\n"
    "\n"
    "Exit status: 0 the records were shown; 1 FILE can't be read; 64 a\n"
    "wrong command line; 74 the output can't be written.\n"
    "\n"
    "  --csv      comma-separated values with a header row (RFC 4180); a\n"
    "             name, status, category or date that starts with = + - @\n"
    "             or ' gets a leading ', so that no spreadsheet takes it\n"
    "             for a formula. A name's bytes come back when a leading\n"
    "             ' is dropped and then, from left to right, each \\\\ is\n"
    "             read as \\ and each \\xNN as the byte of hex value NN\n"
    "  --raw      with --csv: each name as its exact bytes, unescaped, and\n"
    "             no cell changed for spreadsheets\n"
    "  --live     leave out deleted records\n"
    "  --totals   show only the totals, a LABEL VALUE line each: the\n"
    "             records, live and deleted, and for each category (and\n"
    "             for any other code) its live records and the sum of\n"
    "             their amounts\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n";

void cellsOf(const Employee& e, std::int64_t position, bool raw,
             std::string (&cells)[kColumns]) {
  const std::int32_t deleted = e.getDeleted();
  cells[0] = std::to_string(position);
  cells[1] = std::to_string(e.getId());
  cells[2] = deleted == 0   ? "live"
             : deleted == 1 ? "deleted"
                            : std::to_string(deleted);
  const char* name = e.getNameField();
  cells[3] = raw ? std::string(name, ::strnlen(name, Employee::kNameBytes))
                 : Display::name(name, Employee::kNameBytes);
  cells[4] = Display::category(e.getCategory());
  cells[5] = std::to_string(e.getAmount());
  cells[6] = Display::date(e.getDate());
}

// A cell of CSV, quoted when it holds a comma, a quote or a line end (a
// name of --raw can). `guard` makes a text cell safe for a spreadsheet,
// which takes one that starts with =, +, - or @ for a formula: it gets a
// leading ', as does one that starts with ' itself, so that a leading ' is
// always the guard, dropped to get the text back. The text of a name is
// its escaped form, undone after the guard is dropped; it stays escaped,
// since stored files and scripts read the CSV so. (A tab or carriage
// return, which spreadsheets read so too, is escaped in a name.)
std::string csvField(const std::string& s, bool guard) {
  const std::string cell =
      guard && !s.empty() &&
              std::string_view("=+-@'").find(s[0]) != std::string_view::npos
          ? "'" + s
          : s;
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string out = "\"";
  for (char c : cell) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

// What stopped a reading of `records` records of `file` that read `got`,
// or an empty string.
std::string readFailure(const RecordFile& file, std::int64_t got,
                        std::int64_t records) {
  if (got < 0) return std::strerror(file.error());
  // Another program cut it while it was read: the listing is short.
  if (got < records) return "the file shrank while it was read";
  return "";
}

// Calls fn(cells) with the cells of each of the first `records` records of
// the file, each deleted one left out when `liveOnly`. Returns the error
// that stopped it, or an empty string.
template <typename Fn>
std::string forEachRow(RecordFile& file, std::int64_t records, bool raw,
                       bool liveOnly, Fn fn) {
  Employee e;
  std::string cells[kColumns];
  const std::int64_t got = file.forEachRecord(
      Employee::kRecordBytes, records,
      [&](const unsigned char* record, std::int64_t position) {
        e.decode(record, Employee::kRecordBytes);
        if (liveOnly && e.getDeleted() != 0) return;
        cellsOf(e, position, raw, cells);
        fn(cells);
      });
  return readFailure(file, got, records);
}

// Writes the totals of the records; returns what stopped the reading, or
// an empty string, and then writes nothing.
std::string showTotals(RecordFile& file, std::int64_t records) {
  FileTotals totals;
  const std::string failure =
      readFailure(file, totals.read(file, records), records);
  if (!failure.empty()) return failure;
  const std::string out = FileTotals::table({&totals, 1});
  std::fwrite(out.data(), 1, out.size(), stdout);
  return "";
}

// Writes the `n` bytes at `data` to `fd`, in as many writes as it takes;
// false, with errno set, when one fails.
bool writeAll(int fd, const char* data, std::size_t n) {
  while (n > 0) {
    const ssize_t done = ::write(fd, data, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      if (done == 0) errno = ENOSPC;  // no room, though none was told
      return false;
    }
    data += done;
    n -= std::size_t(done);
  }
  return true;
}

// Standard input as a name under which it opens as a regular file
// (`path`), or what keeps it from being read (`why`).
struct Input {
  std::string path, why;
};

// Its own name, when it is a regular file, else that of a copy in memory
// of all it holds: at most the largest employee file, and what a file-size
// limit lets the copy hold, so that an endless source (/dev/zero) is read
// no further than one buffer past that. `closed`: it was not open at the
// start, and what stands there now reads as empty.
Input standardInput(bool closed) {
  if (closed) return {"", "standard input is closed"};
  struct stat st;
  if (::fstat(0, &st) == 0 && S_ISREG(st.st_mode))
    return {"/proc/self/fd/0", ""};
  std::int64_t most = Employee::kMaxFileBytes;
  const char* bound = "an employee file holds";
  if (rlimit limit;
      ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur < rlim_t(most)) {
    most = std::int64_t(limit.rlim_cur);
    bound = "the file-size limit allows";
  }
  // A read that fails is standard input's; a copy that can't be made or
  // written is the memory's, or the room's, of this machine.
  auto failed = [](const char* what) {
    return Input{"", std::string(what) + ": " + std::strerror(errno)};
  };
  const char* const copying = "cannot copy into memory";
  const int copy = ::memfd_create("stdin", MFD_CLOEXEC);
  if (copy < 0) return failed(copying);
  char buffer[1 << 16];
  for (std::int64_t held = 0;;) {
    const ssize_t n = ::read(0, buffer, sizeof buffer);
    if (n == 0) return {"/proc/self/fd/" + std::to_string(copy), ""};
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failed("cannot read");
    if ((held += n) > most) {
      return {"", "standard input is too large: more than " +
                      std::to_string(most) + " bytes, the most " + bound};
    }
    if (!writeAll(copy, buffer, std::size_t(n))) return failed(copying);
  }
}

// Writes the header and a row a record, as CSV or as a table whose
// columns a first pass sizes. Returns the error that stopped the reading,
// or an empty string.
std::string show(RecordFile& file, std::int64_t records, bool csv, bool raw,
                 bool liveOnly) {
  const std::string header[kColumns] = {"position", "id",     "status", "name",
                                        "category", "amount", "date"};
  std::size_t width[kColumns] = {};
  auto size = [&](const std::string(&cells)[kColumns]) {
    for (int i = 0; i < kColumns; ++i) {
      width[i] = std::max(width[i], Display::width(cells[i]));
    }
  };
  size(header);
  std::string failure =
      csv ? "" : forEachRow(file, records, raw, liveOnly, size);
  std::string out;
  auto emit = [&](const std::string(&row)[kColumns]) {
    for (int i = 0; i < kColumns; ++i) {
      if (csv) {
        out += (i ? "," : "") + csvField(row[i], !raw && !kNumeric[i]);
        continue;
      }
      const std::string pad(width[i] - Display::width(row[i]), ' ');
      if (i) out += "  ";
      out +=
          kNumeric[i] ? pad + row[i] : row[i] + (i + 1 < kColumns ? pad : "");
    }
    out += csv ? "\r\n" : "\n";
    if (out.size() > (1 << 16)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  };
  emit(header);
  if (failure.empty()) failure = forEachRow(file, records, raw, liveOnly, emit);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return failure;
}

}  // namespace

int main(int argc, char** argv) {
  const StandardDescriptors::Found found = StandardDescriptors::ensureOpen();
  if (!found) return kOutputStatus;
  CommandLine cl("empdump", "[--csv [--raw]] [--live] [--totals] [FILE]", kHelp,
                 kOutputStatus);
  if (const int done =
          cl.parse(argc, argv, {"--csv", "--raw", "--live", "--totals"});
      done >= 0) {
    return done;
  }
  if (cl.operands().size() > 1) return cl.usageError("too many files");
  const bool csv = cl.has("--csv"), raw = cl.has("--raw"),
             liveOnly = cl.has("--live");
  // A terminal gets no name unescaped.
  if (raw && !csv) return cl.usageError("--raw goes with --csv only");
  const bool totals = cl.has("--totals");
  if (totals && (csv || liveOnly)) {
    return cl.usageError("--totals goes with no other option");
  }
  std::string path =
      cl.operands().empty() ? Employee::kFileName : cl.operands()[0];
  const std::string name = Display::name(path.c_str(), path.size());
  if (path == "-") {
    const Input in = standardInput(found.wasClosed(0));
    if (!in.why.empty()) {
      std::fprintf(stderr, "empdump:-: %s\n", in.why.c_str());
      return 1;
    }
    path = in.path;
  }

  RecordFile file;
  if (!file.open(path.c_str(), RecordFile::Access::kRead, false,
                 RecordFile::Check::kTypeFirst)) {
    std::fprintf(stderr, "empdump:%s: cannot open: %s\n", name.c_str(),
                 SystemCalls::errorText(file.error()).c_str());
    return 1;
  }
  const std::int64_t size = file.facts().size;
  const std::int64_t records = size / Employee::kRecordBytes;
  if (size % Employee::kRecordBytes != 0) {
    std::fprintf(stderr,
                 "empdump:%s: size %lld is not a whole number of 60-byte "
                 "records: the last %lld bytes are not shown\n",
                 name.c_str(), static_cast<long long>(size),
                 static_cast<long long>(size % Employee::kRecordBytes));
  }

  const std::string failure = totals ? showTotals(file, records)
                                     : show(file, records, csv, raw, liveOnly);
  const int status = cl.finish(failure.empty() ? 0 : 1);
  if (!failure.empty()) {
    std::fprintf(stderr, "empdump:%s: cannot read: %s\n", name.c_str(),
                 failure.c_str());
  }
  return status;
}

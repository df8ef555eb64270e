// DryRun: lets a batch run in this process apply to employee.dat and
// emptrans.dat without writing either, so that it foresees exactly what a
// real run would do, through the same code, without creating, changing or
// locking any file.
//
// install() looks at employee.dat, then emptrans.dat, and replaces the
// system calls of SystemCalls by its own. Each real file is looked at as
// the run would find it, and a FIFO or device is never opened:
// - employee.dat, a regular file, is opened for reading alone and read
//   where it lies; what the run writes to it is kept in memory over it
//   (FileOverlay), within the process's file-size limit as the kernel
//   would keep it, and its opens, reads, writes, size and truncation are
//   those of the file so written. A file of 2 GiB or more is refused by
//   the run for its size alone, as it would be;
// - emptrans.dat, only ever read, is read where it is;
// - a missing file becomes an empty one when the run could create it
//   (following symbolic links as the run's open would), else the open
//   fails as the run's would;
// - a directory, FIFO or device is handed over unopened (O_PATH), and is
//   refused for its type as in a real run;
// - a file the run could not open for writing refuses writes alike;
// - emptrans.dat that is employee.dat is read as the run's writes leave it;
// - a lock that another run holds on employee.dat is looked up, never
//   tried, and refuses the run's lock as the real one would; no lock is
//   ever taken.
// What it cannot foresee is a write that fails (a full disk), another
// program changing the files in the meantime, and a limit on open files
// so tight that the descriptor it reads employee.dat through makes the
// difference.
#ifndef EMPUPDATE_BATCH_DRYRUN_H_
#define EMPUPDATE_BATCH_DRYRUN_H_

class DryRun {
 public:
  // What install() found.
  struct Setting {
    bool createsEmployee = false;  // the run would create employee.dat
    bool createsTrans = false;     // and emptrans.dat
  };
  static Setting install();
};

#endif  // EMPUPDATE_BATCH_DRYRUN_H_

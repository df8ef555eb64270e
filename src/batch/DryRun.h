// DryRun: lets a batch run in this process apply to copies in memory of
// employee.dat and emptrans.dat, so that it foresees exactly what a real
// run would do, through the same code, without creating, changing or
// locking any file.
//
// install() looks at employee.dat, then emptrans.dat, and replaces the
// opening and locking of SystemCalls. Each real file is looked at once, as
// the run would find it, and a FIFO or device is never opened:
// - employee.dat, a regular file, is copied into memory (one of 2 GiB or
//   more is made a copy of that size, sparse: the run refuses it by its
//   size alone); when the copy can't be made, install() says why and
//   nothing is installed: a dry run on the real file could disturb a real
//   run, and would not foresee it. emptrans.dat, only ever read, is read
//   where it is;
// - a missing file becomes an empty one when the run could create it
//   (following symbolic links as the run's open would), else the open
//   fails as the run's would;
// - a directory, FIFO or device is handed over unopened (O_PATH), and is
//   refused for its type as in a real run;
// - a file the run could not open for writing refuses writes alike;
// - emptrans.dat that is employee.dat gets the same copy;
// - a lock that another run holds on employee.dat is looked up, never
//   tried, and refuses the run's lock as the real one would; no lock is
//   ever taken.
// What it cannot foresee is a write that fails (a full disk) and another
// program changing the files in the meantime.
#ifndef EMPUPDATE_BATCH_DRYRUN_H_
#define EMPUPDATE_BATCH_DRYRUN_H_

class DryRun {
 public:
  // What install() found.
  struct Setting {
    int error = 0;  // the errno that kept employee.dat from being copied
    bool createsEmployee = false;  // the run would create employee.dat
    bool createsTrans = false;     // and emptrans.dat
  };
  // Nothing is installed when the answer has an error.
  static Setting install();
};

#endif  // EMPUPDATE_BATCH_DRYRUN_H_

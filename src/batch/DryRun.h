// DryRun: lets a batch run in this process apply to copies in memory of
// employee.dat and emptrans.dat, so that it foresees exactly what a real
// run would do, through the same code, without creating, changing or
// locking any file.
//
// install() replaces the opening and locking of SystemCalls. On its first
// open of each of the two names it looks at the real file once, as the
// run would find it:
// - employee.dat, a regular file, is copied into memory (one of 2 GiB or
//   more is not: the run refuses it by its size alone); emptrans.dat, only
//   ever read, is read where it is;
// - a missing file becomes an empty one when the run could create it
//   (following symbolic links as the run's open would), else the open
//   fails as the run's would;
// - a directory, FIFO or device is handed over read-only as it is, and is
//   refused for its type as in a real run;
// - a file the run could not open for writing refuses writes alike;
// - emptrans.dat that is employee.dat gets the same copy;
// - a lock that another run holds on employee.dat is looked up, never
//   tried, and refuses the run's lock as the real one would.
// What it cannot foresee is a write that fails (a full disk) and another
// program changing the files in the meantime.
#ifndef EMPUPDATE_BATCH_DRYRUN_H_
#define EMPUPDATE_BATCH_DRYRUN_H_

class DryRun {
 public:
  static void install();
  // Whether the run would create a missing file.
  static bool createsFiles();
};

#endif  // EMPUPDATE_BATCH_DRYRUN_H_

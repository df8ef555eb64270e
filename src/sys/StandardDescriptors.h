// StandardDescriptors: makes sure descriptors 0, 1 and 2 are open before a
// program opens anything of its own.
//
// A program started with one of them closed would otherwise get it for the
// first file it opens, and a diagnostic meant for standard error would be
// written into that file. Each closed one is opened on /dev/null, for
// reading only, so that output to it fails as it would have. Which were
// closed is told in the answer: a closed standard input then reads as
// empty, which a program that reads it must not take for an empty input.
#ifndef EMPUPDATE_SYS_STANDARDDESCRIPTORS_H_
#define EMPUPDATE_SYS_STANDARDDESCRIPTORS_H_

class StandardDescriptors {
 public:
  // What ensureOpen() found and did.
  struct Found {
    bool open = true;     // all three are open now
    unsigned closed = 0;  // bit n: descriptor n was closed at the start
    // False when a closed one could not be opened; the caller must then not
    // open any file.
    explicit operator bool() const { return open; }
    bool wasClosed(int fd) const { return (closed >> fd & 1) != 0; }
  };
  static Found ensureOpen();
};

#endif  // EMPUPDATE_SYS_STANDARDDESCRIPTORS_H_

// StandardDescriptors: makes sure descriptors 0, 1 and 2 are open before a
// program opens anything of its own.
//
// A program started with one of them closed would otherwise get it for the
// first file it opens, and a diagnostic meant for standard error would be
// written into that file. Each closed one is opened on /dev/null, for
// reading only, so that output to it fails as it would have.
#ifndef EMPUPDATE_SYS_STANDARDDESCRIPTORS_H_
#define EMPUPDATE_SYS_STANDARDDESCRIPTORS_H_

class StandardDescriptors {
 public:
  // Returns false when a closed one could not be opened; the caller must
  // then not open any file.
  static bool ensureOpen();
};

#endif  // EMPUPDATE_SYS_STANDARDDESCRIPTORS_H_

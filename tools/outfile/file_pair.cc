// SPDX-License-Identifier: MIT
#include "file_pair.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "signal_cleanup.h"

namespace outfile {

namespace {

// The previous version of a target, kept under a temporary name beside it
// until the pair is in place. A hard link leaves the target where it is; on a
// file system without them the target itself is moved aside.
class KeptAside {
 public:
  // False (errno) when the previous file cannot be kept.
  bool Keep(const std::string& target) {
    target_ = target;
    struct stat info;
    if (lstat(target.c_str(), &info) != 0) return errno == ENOENT;
    // A directory is never replaced (nor moved aside).
    if (S_ISDIR(info.st_mode)) {
      errno = EISDIR;
      return false;
    }
    name_ = TemporaryName(target);
    const int fd = mkstemp(name_.data());
    if (fd < 0) {
      name_.clear();
      return false;
    }
    close(fd);
    unlink(name_.c_str());
    if (link(target.c_str(), name_.c_str()) == 0) return true;
    if (rename(target.c_str(), name_.c_str()) == 0) {
      moved_ = true;
      return true;
    }
    const int number = errno;
    name_.clear();
    errno = number;
    return false;
  }
  // After the pair is in place: the kept version goes.
  void Drop() {
    if (!name_.empty()) unlink(name_.c_str());
  }
  // After a failure: the target is what it was before. A moved target whose
  // rename into place failed is still where it was moved.
  void PutBack(bool replaced) {
    if (name_.empty()) {
      if (replaced) unlink(target_.c_str());
      return;
    }
    if (!replaced && !moved_) {
      unlink(name_.c_str());
      return;
    }
    // Should even this fail, the new file goes, and the previous one stays
    // under its temporary name: never a new file beside an old partner.
    if (rename(name_.c_str(), target_.c_str()) != 0 && replaced) unlink(target_.c_str());
  }

 private:
  std::string target_;
  std::string name_;  // empty: there was no previous file
  bool moved_ = false;
};

}  // namespace

bool CommitTogether(OutputFile& first, OutputFile& second) {
  const bool finished = first.Finish() && second.Finish();
  if (!finished) {
    first.Discard();
    second.Discard();
    return false;
  }
  if (first.temp_.empty() || second.temp_.empty()) {
    const bool done = first.Rename() && second.Rename();
    first.Discard();
    second.Discard();
    return done;
  }
  const EndingSignalsHeld held;
  KeptAside previous;
  bool done = previous.Keep(first.target_);
  if (!done) first.Fail(errno);
  const bool firstRenamed = done && first.Rename();
  done = firstRenamed && second.Rename();
  if (done) {
    previous.Drop();
  } else {
    previous.PutBack(firstRenamed);
  }
  first.Discard();
  second.Discard();
  return done;
}

}  // namespace outfile

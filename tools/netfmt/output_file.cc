// SPDX-License-Identifier: MIT
#include "output_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <new>

namespace netfmt {

namespace {

// A temporary name beside the target whose last component is never longer
// than the target's own: whenever the directory accepts the target's name, it
// accepts this one. The suffix takes the place of the last bytes of the name
// (a name shorter than the suffix gives the bare suffix, within every
// directory's limit).
std::string TemporaryName(const std::string& target) {
  static constexpr char kSuffix[] = ".tmpXXXXXX";
  constexpr size_t kSuffixLength = sizeof kSuffix - 1;
  const size_t slash = target.rfind('/');
  const size_t base = slash == std::string::npos ? 0 : slash + 1;
  const size_t length = target.size() - base;
  const size_t keep = length > kSuffixLength ? length - kSuffixLength : 0;
  return target.substr(0, base + keep) + kSuffix;
}

// The mode the target gets: that of the file it replaces, or the mode a new
// file would get from the process's umask.
mode_t TargetMode(const std::string& target) {
  struct stat info;
  if (stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return info.st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

OutputFile::OutputFile(std::string target, Special special)
    : target_(std::move(target)), buf_(new (std::nothrow) char[kBuffer]) {
  if (buf_ == nullptr) return;
  if (target_ == "-") {
    fd_ = STDOUT_FILENO;
    stdout_ = true;
    return;
  }
  struct stat info;
  if (special == Special::kWriteInto && stat(target_.c_str(), &info) == 0 && !S_ISREG(info.st_mode) &&
      !S_ISDIR(info.st_mode)) {
    fd_ = open(target_.c_str(), O_WRONLY | O_CLOEXEC);
    inPlace_ = fd_ >= 0;
    return;
  }
  const bool existing = lstat(target_.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  // A file the user may not write is not replaced behind its back.
  if (existing && faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) return;
  temp_ = TemporaryName(target_);
  fd_ = mkstemp(temp_.data());
  if (fd_ >= 0) {
    fcntl(fd_, F_SETFD, FD_CLOEXEC);
    if (fchmod(fd_, TargetMode(target_)) != 0) failed_ = true;
    writeOutEarly_ = existing;
    return;
  }
  // A directory closed to new files still lets its writable files be
  // rewritten: the file itself is truncated and written, as a plain writer
  // does. Only a refusal by permission leads here; a full disk, among others,
  // keeps the previous file whole.
  if (existing && (errno == EACCES || errno == EPERM)) {
    fd_ = open(target_.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    inPlace_ = fd_ >= 0;
  }
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() {
  if (fd_ < 0) return;
  if (stdout_) {
    fd_ = -1;
    return;
  }
  close(fd_);
  fd_ = -1;
  if (!inPlace_) unlink(temp_.c_str());
}

void OutputFile::WriteAll(const char* data, size_t size) {
  while (size > 0 && !failed_) {
    const ssize_t n = write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
    } else {
      data += n;
      size -= static_cast<size_t>(n);
      written_ += static_cast<uint64_t>(n);
    }
  }
#ifdef SYNC_FILE_RANGE_WRITE
  if (writeOutEarly_ && !failed_ && written_ - writtenOut_ >= kWriteOutStep) {
    // Only a start is asked for, never a wait; a failure changes nothing, as
    // a real write error shows at a write or at the close.
    sync_file_range(fd_, static_cast<off_t>(writtenOut_), static_cast<off_t>(written_ - writtenOut_),
                    SYNC_FILE_RANGE_WRITE);
    writtenOut_ = written_;
  }
#endif
}

void OutputFile::Flush() {
  if (fd_ >= 0) WriteAll(buf_.get(), used_);
  used_ = 0;
}

void OutputFile::PutLong(std::string_view text) {
  Flush();
  if (text.size() < kBuffer) {
    text.copy(buf_.get(), text.size());
    used_ = text.size();
  } else if (fd_ >= 0) {
    WriteAll(text.data(), text.size());
  }
}

bool OutputFile::Commit() {
  if (fd_ < 0) return false;
  Flush();
  const int fd = fd_;
  fd_ = -1;
  if (stdout_) return !failed_;
  // close reports the errors of writes that were deferred (network file
  // systems, quotas): it is part of the success.
  if (close(fd) != 0) failed_ = true;
  if (inPlace_) return !failed_;
  if (!failed_ && rename(temp_.c_str(), target_.c_str()) == 0) return true;
  unlink(temp_.c_str());
  return false;
}

}  // namespace netfmt

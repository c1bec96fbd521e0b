// SPDX-License-Identifier: MIT
#include "output_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <new>

#include "signal_cleanup.h"

namespace outfile {

namespace {

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

std::string TemporaryName(const std::string& target) {
  static constexpr char kSuffix[] = ".tmpXXXXXX";
  constexpr size_t kSuffixLength = sizeof kSuffix - 1;
  const size_t slash = target.rfind('/');
  const size_t base = slash == std::string::npos ? 0 : slash + 1;
  const size_t length = target.size() - base;
  const size_t keep = length > kSuffixLength ? length - kSuffixLength : 0;
  return target.substr(0, base + keep) + kSuffix;
}

bool WriteAll(int fd, std::string_view text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

OutputFile::OutputFile(std::string target, Special special)
    : target_(std::move(target)), buf_(new (std::nothrow) char[kBuffer]) {
  if (buf_ == nullptr) {
    error_ = ENOMEM;
    return;
  }
  if (target_ == "-") {
    fd_ = STDOUT_FILENO;
    stdout_ = true;
    return;
  }
  struct stat info;
  const bool exists = stat(target_.c_str(), &info) == 0;
  // A directory is never replaced: the rename would fail only at the end.
  if (exists && S_ISDIR(info.st_mode)) {
    error_ = EISDIR;
    return;
  }
  if (special == Special::kWriteInto && exists && !S_ISREG(info.st_mode)) {
    fd_ = open(target_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) error_ = errno;
    inPlace_ = fd_ >= 0;
    return;
  }
  const bool existing = lstat(target_.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  // A file the user may not write is not replaced behind its back.
  if (existing && faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
    error_ = errno;
    return;
  }
  temp_ = TemporaryName(target_);
  fd_ = CreateRemovedOnSignal(&temp_, &guard_);
  if (fd_ >= 0) {
    if (fchmod(fd_, TargetMode(target_)) != 0) error_ = errno;
    writeOutEarly_ = existing;
    return;
  }
  error_ = errno;
  temp_.clear();
  // A directory closed to new files still lets its writable files be
  // rewritten: the file itself is truncated and written, as a plain writer
  // does, but only once the first text goes out, so that a run that fails
  // before it keeps the previous file. Only a refusal by permission leads
  // here; a full disk, among others, keeps the previous file whole.
  if (existing && (error_ == EACCES || error_ == EPERM)) {
    fd_ = open(target_.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    inPlace_ = truncate_ = fd_ >= 0;
    if (inPlace_) error_ = 0;
  }
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() {
  if (fd_ >= 0 && !stdout_) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) {
    unlink(temp_.c_str());
    temp_.clear();
  }
  KeepOnSignal(guard_);
  guard_ = -1;
}

std::string OutputFile::Reason() const { return std::strerror(error_ != 0 ? error_ : EIO); }

void OutputFile::Fail(int number) {
  if (error_ == 0) error_ = number;
}

bool OutputFile::TruncateOnce() {
  if (truncate_ && error_ == 0 && ftruncate(fd_, 0) != 0) error_ = errno;
  truncate_ = false;
  return error_ == 0;
}

void OutputFile::WriteOut(const char* data, size_t size) {
  if (!TruncateOnce()) return;
  if (!WriteAll(fd_, std::string_view(data, size))) {
    error_ = errno;
    return;
  }
  written_ += size;
#ifdef SYNC_FILE_RANGE_WRITE
  if (writeOutEarly_ && written_ - writtenOut_ >= kWriteOutStep) {
    // Only a start is asked for, never a wait; a failure changes nothing, as
    // a real write error shows at a write or at the close.
    sync_file_range(fd_, static_cast<off_t>(writtenOut_), static_cast<off_t>(written_ - writtenOut_),
                    SYNC_FILE_RANGE_WRITE);
    writtenOut_ = written_;
  }
#endif
}

void OutputFile::Flush() {
  if (fd_ >= 0) WriteOut(buf_.get(), used_);
  used_ = 0;
}

void OutputFile::PutLong(std::string_view text) {
  Flush();
  if (text.size() < kBuffer) {
    text.copy(buf_.get(), text.size());
    used_ = text.size();
  } else if (fd_ >= 0) {
    WriteOut(text.data(), text.size());
  }
}

int OutputFile::Descriptor() {
  Flush();
  if (fd_ >= 0) TruncateOnce();
  return fd_;
}

bool OutputFile::Finish() {
  if (finished_) return error_ == 0;
  if (fd_ < 0) {
    if (error_ == 0) error_ = EBADF;
    return false;
  }
  Flush();
  TruncateOnce();
  finished_ = true;
  if (stdout_) {
    fd_ = -1;
    return error_ == 0;
  }
  // close reports the errors of writes that were deferred (network file
  // systems, quotas): it is part of the success.
  if (close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  return error_ == 0;
}

bool OutputFile::Rename() {
  if (temp_.empty()) return true;
  // Held, so that no signal comes between the rename and the guard's end.
  const EndingSignalsHeld held;
  if (rename(temp_.c_str(), target_.c_str()) != 0) {
    Fail(errno);
    return false;
  }
  temp_.clear();
  KeepOnSignal(guard_);
  guard_ = -1;
  return true;
}

bool OutputFile::Commit() {
  const bool done = Finish() && Rename();
  if (!done) Discard();
  return done;
}

}  // namespace outfile

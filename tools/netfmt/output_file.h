// SPDX-License-Identifier: MIT
// An output file that appears only when completely written.
//
// The text goes to a temporary file in the target's directory through a large
// buffer; Commit writes the rest, closes the file and renames it over the
// target. Any failure on the way (creation, a write, the close, the rename)
// makes Commit return false and removes the temporary file, so the target is
// never left truncated and a previous version of it survives a failed run.
// The temporary name is never longer than the target's, so every target name
// the directory accepts can be written.
//
// Permissions are those of a writer that opens the target itself: an existing
// target the user may not write is refused (ok() false) and left as it is.
// When the directory refuses new files to the user but the existing target is
// writable, the target is truncated and written in place; only then can a
// failed write leave it incomplete.
//
// A target that is a FIFO, a device or a socket is replaced like a file,
// without being opened (nothing blocks), unless the writer asks for
// Special::kWriteInto: then it is opened and written as it goes, like
// standard output below, as any writer given that name by its user does
// (/dev/null stays a device; a reader at a FIFO gets the text).
//
// The target "-" is standard output: the text is written to descriptor 1
// through the same buffer, and Commit reports whether every write succeeded
// (what was written before a failure stays written: a stream cannot be taken
// back).
#ifndef NETFMT_OUTPUT_FILE_H
#define NETFMT_OUTPUT_FILE_H

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace netfmt {

class OutputFile {
 public:
  enum class Special { kReplace, kWriteInto };
  explicit OutputFile(std::string target, Special special = Special::kReplace);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False when the output cannot be written: the target is protected, or
  // neither the temporary file nor (in a closed directory) the target itself
  // could be opened.
  bool ok() const { return fd_ >= 0; }

  void Put(std::string_view text) {
    if (text.size() <= kBuffer - used_) {
      text.copy(buf_.get() + used_, text.size());
      used_ += text.size();
    } else {
      PutLong(text);
    }
  }
  void Put(char c) {
    if (used_ == kBuffer) Flush();
    buf_[used_++] = c;
  }
  void PutInt(long long value) {
    if (kBuffer - used_ < kIntChars) Flush();
    char* out = buf_.get() + used_;
    if (value >= 0 && value < 100000) {
      used_ += PutSmall(out, static_cast<unsigned>(value));
    } else {
      used_ += static_cast<size_t>(std::to_chars(out, out + kIntChars, value).ptr - out);
    }
  }

  // Composing straight into the buffer, for writers of many short lines:
  // Room(n) flushes when fewer than n bytes are free and returns where the
  // free bytes start, Free() says how many there are, and Advance(k) adds the
  // k bytes composed there to the text. REQUIRES: n <= kBuffer, k <= Free().
  char* Room(size_t n) {
    if (kBuffer - used_ < n) Flush();
    return buf_.get() + used_;
  }
  size_t Free() const { return kBuffer - used_; }
  void Advance(size_t k) { used_ += k; }

  // Writes everything, closes and renames over the target (or, in place,
  // just closes). True on success.
  bool Commit();

  // Small enough for the text composed in it to be still in the caches when
  // it is written out, large enough for few write calls.
  static constexpr size_t kBuffer = size_t{1} << 18;
  // Replacing a file by a rename makes the file system write the new file out
  // at the rename, to protect replace-by-rename against a crash: the rename of
  // a 70 MB output took 50 ms. When a file is replaced, the write-out of each
  // kWriteOutStep bytes written is started at once instead, so that the disk
  // works while the rest is composed.
  static constexpr uint64_t kWriteOutStep = uint64_t{8} << 20;

 private:
  static constexpr size_t kIntChars = 24;

  // Writes value (< 100000) in decimal at out; returns the digit count. The
  // numbers of nodes in arc lines are mostly this small.
  static size_t PutSmall(char* out, unsigned value) {
    const size_t digits = value < 10 ? 1 : value < 100 ? 2 : value < 1000 ? 3 : value < 10000 ? 4 : 5;
    for (size_t i = digits; i-- > 0; value /= 10) out[i] = static_cast<char>('0' + value % 10);
    return digits;
  }
  void PutLong(std::string_view text);
  void Flush();
  void WriteAll(const char* data, size_t size);
  void Discard();

  std::string target_;
  std::string temp_;
  int fd_ = -1;
  bool inPlace_ = false;  // fd_ is the target itself, not a temporary file
  bool stdout_ = false;   // fd_ is standard output, neither closed nor renamed
  bool writeOutEarly_ = false;  // the temporary file replaces an existing one
  uint64_t written_ = 0;         // bytes written to fd_
  uint64_t writtenOut_ = 0;      // of them, those whose write-out was started
  bool failed_ = false;
  std::unique_ptr<char[]> buf_;
  size_t used_ = 0;
};

}  // namespace netfmt

#endif

// SPDX-License-Identifier: MIT
// An output file that appears only when completely written: the one way the
// tools (varnost, pnconv, qxhost) write a file.
//
// The text goes to a temporary file in the target's directory through a large
// buffer; Commit writes the rest, closes the file and renames it over the
// target. Any failure on the way (creation, a write, the close, the rename)
// makes Commit return false, keeps the reason (error()) and removes the
// temporary file, so the target is never left truncated and a previous
// version of it survives a failed run. SIGINT and SIGTERM remove the
// temporary file before they end the program (signal_cleanup.h). The
// temporary name is never longer than the target's, so every target name the
// directory accepts can be written.
//
// Permissions are those of a writer that opens the target itself: an existing
// target the user may not write is refused (ok() false, EACCES) and left as
// it is, and so is a directory (EISDIR). When the directory refuses new files
// to the user but the existing target is writable, the target is truncated
// when the first text goes out and written in place; only then can a failed
// write leave it incomplete.
// The file gets the mode of the file it replaces, or that of a new file.
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
#ifndef QUARNEL_TOOLS_OUTFILE_OUTPUT_FILE_H
#define QUARNEL_TOOLS_OUTFILE_OUTPUT_FILE_H

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace outfile {

// A mkstemp template for a temporary file beside target whose last component
// is never longer than the target's own: whenever the directory accepts the
// target's name, it accepts this one. The suffix ".tmpXXXXXX" takes the place
// of the last bytes of the name (a name shorter than the suffix gives the
// bare suffix, within every directory's limit).
std::string TemporaryName(const std::string& target);

// Writes text whole to fd, again after an interruption. False when a write
// failed (errno says why).
bool WriteAll(int fd, std::string_view text);

class OutputFile {
 public:
  enum class Special { kReplace, kWriteInto };
  explicit OutputFile(std::string target, Special special = Special::kReplace);
  // Removes the temporary file unless it was committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False when the output cannot be written: the target is protected or a
  // directory, or neither the temporary file nor (in a closed directory) the
  // target itself could be opened. error() then says why.
  bool ok() const { return fd_ >= 0; }
  // The errno of the first failure, 0 while there is none.
  int error() const { return error_; }
  // The system's words for it ("Is a directory").
  std::string Reason() const;
  const std::string& target() const { return target_; }
  // The temporary file's name; empty when the text goes to the target itself
  // (standard output, a FIFO or device written into, a file written in place).
  const std::string& temporary() const { return temp_; }

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

  // The descriptor, for text written by other means (WriteAll, a child
  // process): what was put is written to it first. A failed write there is
  // reported with Fail. -1 when !ok().
  int Descriptor();
  // Records a failure of a write into Descriptor() (errno: number).
  void Fail(int number);

  // Writes everything and closes the file, leaving the rename to Commit or
  // CommitTogether. True when every write and the close succeeded.
  bool Finish();
  // Finish, then the rename over the target (in place, on a stream: nothing
  // more). True on success.
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
  friend bool CommitTogether(OutputFile& first, OutputFile& second);
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
  void WriteOut(const char* data, size_t size);
  // Truncates a file written in place before its first text. False when
  // there was a failure, now or before.
  bool TruncateOnce();
  // The temporary file, closed, is renamed over the target. False (errno)
  // when the rename fails; the temporary file then stays for Discard.
  bool Rename();
  // Closes and removes what Commit did not take.
  void Discard();

  std::string target_;
  std::string temp_;
  int fd_ = -1;
  int guard_ = -1;        // the signals' removal of temp_ (signal_cleanup.h)
  bool inPlace_ = false;  // fd_ is the target itself, not a temporary file
  bool truncate_ = false;  // ... a regular file not yet truncated
  bool stdout_ = false;   // fd_ is standard output, neither closed nor renamed
  bool finished_ = false;       // written and closed; temp_ awaits its rename
  bool writeOutEarly_ = false;  // the temporary file replaces an existing one
  uint64_t written_ = 0;         // bytes written to fd_
  uint64_t writtenOut_ = 0;      // of them, those whose write-out was started
  int error_ = 0;
  std::unique_ptr<char[]> buf_;
  size_t used_ = 0;
};

}  // namespace outfile

#endif

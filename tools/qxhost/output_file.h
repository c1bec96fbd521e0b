// SPDX-License-Identifier: MIT
// A file the stand-in writes at the end of a run (the model, the recorded
// script): written into a temporary file beside it, then renamed, so that the
// file is never seen half-written and an older one stays whole until then.
// SIGINT and SIGTERM remove the temporary file before they end the stand-in.
#ifndef QUARNEL_TOOLS_QXHOST_OUTPUT_FILE_H
#define QUARNEL_TOOLS_QXHOST_OUTPUT_FILE_H

#include <string>
#include <string_view>

namespace qxhost {

// Writes text whole to fd, again after an interruption. False when a write
// failed (errno says why).
bool WriteAll(int fd, std::string_view text);

class OutputFile {
 public:
  OutputFile() = default;
  // Removes the temporary file when Commit was not called or failed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file beside path; what names the file in messages
  // ("the model file"). False with a message when path is a directory or its
  // folder cannot hold the file: checked before the tool starts.
  bool Open(const std::string& path, const char* what, std::string* error);
  // The temporary file, open for writing; -1 before Open and after Commit.
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  const std::string& temporary() const { return temporary_; }
  // Closes the temporary file with the mode a new file gets, and renames it
  // to path. False with a message otherwise.
  bool Commit(std::string* error);
  // The message for a write into fd() that failed with errno.
  std::string WriteError() const;

 private:
  std::string path_;
  const char* what_ = "the file";
  std::string temporary_;  // empty once renamed or removed
  int fd_ = -1;
  int guard_ = -1;  // the signals' removal of temporary_ (signal_cleanup.h)
};

}  // namespace qxhost

#endif

// SPDX-License-Identifier: MIT
#include "same_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace pnconv {

namespace {

struct Named {
  std::string name;
  struct stat info;
};

// The files of `names` that exist, with what identifies them; "-" is the
// standard stream fd.
std::vector<Named> Existing(const std::vector<std::string>& names, int fd) {
  std::vector<Named> files;
  for (const std::string& name : names) {
    Named file{name, {}};
    if ((name == "-" ? fstat(fd, &file.info) : stat(name.c_str(), &file.info)) == 0) files.push_back(file);
  }
  return files;
}

}  // namespace

std::optional<SameFile> OutputThatIsInput(const Options& options, bool withReference) {
  std::vector<std::string> read{options.input};
  if (options.from == Format::kMatrix && options.input != "-") read.push_back(options.input + ".ref");
  std::vector<std::string> written{options.output};
  if (withReference) written.push_back(options.output + ".ref");
  const std::vector<Named> inputs = Existing(read, STDIN_FILENO);
  for (const Named& out : Existing(written, STDOUT_FILENO)) {
    for (const Named& in : inputs) {
      if (out.info.st_dev == in.info.st_dev && out.info.st_ino == in.info.st_ino) return SameFile{out.name, in.name};
    }
  }
  return std::nullopt;
}

}  // namespace pnconv

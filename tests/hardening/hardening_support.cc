// SPDX-License-Identifier: MIT
#include "hardening/hardening_support.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>

namespace hardening {

std::string ExampleNet(const std::string& name) { return qxtest::ReadFile(kExamples + "/" + name + ".mat"); }

std::string ExampleRef(const std::string& name) {
  return qxtest::ReadFile(kExamples + "/" + name + ".mat.ref");
}

std::string ConvertedExample(const std::string& name) {
  qxtest::TempDir dir;
  qxtest::WriteFile(dir.File("n.mat"), ExampleNet(name));
  qxtest::WriteFile(dir.File("n.mat.ref"), ExampleRef(name));
  const qxtest::ChildResult run = qxtest::RunProgram(kVarnost, {"-s", dir.File("n.mat")});
  if (!run.exited || run.status != 0) return "conversion of " + name + " failed";
  return qxtest::ReadFile(dir.File("n.mat.ll_net"));
}

bool FullLoad() {
  const char* full = std::getenv("QX_LOAD_FULL");
  return full != nullptr && std::string(full) == "1";
}

std::string SparseNet(int places, int transitions, unsigned seed, long* arcs) {
  std::mt19937 random(seed);
  std::vector<std::set<int>> pre(transitions);
  std::vector<std::set<int>> post(transitions);
  std::uniform_int_distribution<int> place(0, places - 1);
  std::uniform_int_distribution<int> count(1, 3);
  for (int t = 0; t < transitions; ++t) {
    for (int k = count(random); k > 0; --k) pre[t].insert(place(random));
    for (int k = count(random); k > 0; --k) post[t].insert(place(random));
  }
  *arcs = 0;
  for (int t = 0; t < transitions; ++t) *arcs += static_cast<long>(pre[t].size() + post[t].size());
  std::string text = std::to_string(places) + "\n" + std::to_string(transitions) + "\n";
  text.reserve(text.size() + 4 * static_cast<size_t>(places) * transitions + 2 * places);
  for (const auto* matrix : {&pre, &post}) {
    for (int p = 0; p < places; ++p) {
      for (int t = 0; t < transitions; ++t) {
        text += (*matrix)[t].count(p) != 0 ? '1' : '0';
        text += t + 1 < transitions ? ' ' : '\n';
      }
    }
  }
  for (int p = 0; p < places; ++p) {
    text += p % 7 == 0 ? '1' : '0';
    text += p + 1 < places ? ' ' : '\n';
  }
  return text;
}

ScopedTmpfs::ScopedTmpfs(long bytes) {
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) == 0) {
    mounted_ = true;
  } else {
    why_ = std::string("mounting a tmpfs is not permitted here: ") + std::strerror(errno);
  }
}

ScopedTmpfs::~ScopedTmpfs() {
  if (mounted_) umount2(dir_.path().c_str(), MNT_DETACH);
}

bool ScopedTmpfs::MakeReadOnly() {
  return mounted_ &&
         mount("tmpfs", dir_.path().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

bool FillFileSystem(const std::string& dir) {
  const std::string path = dir + "/filler";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const std::string block(4096, 'f');
  bool full = false;
  for (int i = 0; i < (1 << 20) && !full; ++i) {
    if (write(fd, block.data(), block.size()) < 0) full = errno == ENOSPC;
  }
  // Partial blocks: the last bytes of free space.
  while (!full) {
    if (write(fd, "f", 1) < 0) full = errno == ENOSPC;
  }
  close(fd);
  return full;
}

qxtest::ChildResult RunWithStdout(const std::string& path, const std::vector<std::string>& args,
                                  const std::string& cwd, const std::string& stdout_path,
                                  int timeout_ms) {
  return qxtest::RunProgram(path, args, cwd, timeout_ms, [&] {
    const int out = open(stdout_path.c_str(), O_WRONLY);
    return out >= 0 && dup2(out, 1) >= 0;
  });
}

}  // namespace hardening

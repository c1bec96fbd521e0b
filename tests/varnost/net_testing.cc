// SPDX-License-Identifier: MIT
#include "net_testing.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "TypePN.h"
#include "net_reader.h"

namespace vtest {

void ResetNet() {
  varnost::ResetNet();
  Trace = 0;
}

ReadResult ReadNet(const std::string& path, const std::vector<std::string>& options) {
  std::vector<std::string> args{""};
  args.insert(args.end(), options.begin(), options.end());
  args.push_back(path);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  ReadResult result;
  result.out = qxtest::CaptureFd(1, [&] {
    result.status = InitialisationNet(static_cast<int>(args.size()), argv.data());
  });
  return result;
}

std::vector<int> Elements(t_EnsI set) {
  return std::vector<int>(set->Ens, set->Ens + set->NbEl);
}

bool Mapped(const void* address) {
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  void* start = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(address) & ~(page - 1));
  unsigned char state = 0;
  return mincore(start, page, &state) == 0 || errno != ENOMEM;
}

::testing::AssertionResult SameText(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t same = 0;
  while (same < actual.size() && same < expected.size() && actual[same] == expected[same]) ++same;
  const size_t line = actual.rfind('\n', same == 0 ? 0 : same - 1);
  const size_t from = line == std::string::npos || same == 0 ? 0 : line + 1;
  auto lineAt = [from](const std::string& text) {
    return from < text.size() ? text.substr(from, text.find('\n', from) - from) : "(end)";
  };
  return ::testing::AssertionFailure() << actual.size() << " bytes, expected " << expected.size()
                                       << "; from byte " << from << ": \"" << lineAt(actual)
                                       << "\" instead of \"" << lineAt(expected) << "\"";
}

uint64_t MappedBytes() {
  // Read without allocating, so that measuring does not change the measure.
  char text[128] = {};
  const int fd = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return 0;
  return std::strtoull(text, nullptr, 10) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

bool LimitAddressSpace(uint64_t room) {
  const uint64_t mapped = MappedBytes();
  const struct rlimit limit = {mapped + room, RLIM_INFINITY};
  return mapped > 0 && setrlimit(RLIMIT_AS, &limit) == 0;
}

std::string NetModel::MatrixText() const {
  std::ostringstream text;
  text << places << "\n" << transitions << "\n";
  for (const auto* matrix : {&pre, &post}) {
    for (const auto& row : *matrix) {
      for (size_t t = 0; t < row.size(); ++t) text << (t ? " " : "") << row[t];
      text << "\n";
    }
  }
  for (int p = 0; p < places; ++p) text << (p ? " " : "") << marking[p];
  text << "\n";
  return text.str();
}

std::string NetModel::ExpectedPep() const {
  std::ostringstream text;
  auto name = [&](int node, char kind, int number) {
    if (names.empty()) return std::string("\"") + kind + std::to_string(number) + "\"";
    const std::string& n = names[node];
    const char quote = n.find('"') == std::string::npos ? '"' : '\'';
    return quote + n + quote;
  };
  text << "PEP\nPetriBox\nFORMAT_N\nPL\n";
  for (int p = 0; p < places; ++p) {
    text << p + 1 << name(p, 'P', p + 1) << "50@50" << (marking[p] > 0 ? "M1" : "") << "\n";
  }
  text << "TR\n";
  for (int t = 0; t < transitions; ++t) text << t + 1 << name(places + t, 'T', t + 1) << "50@50\n";
  text << "TP\n";
  for (int t = 0; t < transitions; ++t) {
    for (int p = 0; p < places; ++p) {
      if (post[p][t] > 0) text << t + 1 << "<" << p + 1 << "\n";
    }
  }
  text << "PT\n";
  for (int p = 0; p < places; ++p) {
    for (int t = 0; t < transitions; ++t) {
      if (pre[p][t] > 0) text << p + 1 << ">" << t + 1 << "\n";
    }
  }
  return text.str();
}

}  // namespace vtest

// SPDX-License-Identifier: MIT
#include "matrix_net.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "net_reader.h"

namespace pnconv {

namespace {

// Standard output is standard error while it lives: the matrix reader prints
// its messages on standard output, and pnconv's standard output may be the
// converted net.
class StdoutToStderr {
 public:
  StdoutToStderr() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    if (saved_ >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
  }
  ~StdoutToStderr() {
    std::fflush(stdout);
    if (saved_ < 0) return;
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
  StdoutToStderr(const StdoutToStderr&) = delete;
  StdoutToStderr& operator=(const StdoutToStderr&) = delete;

 private:
  int saved_ = -1;
};

// The net globals are released on every way out.
struct ReleaseNet {
  ~ReleaseNet() {
    varnost::KeepMarkingValues(nullptr);
    varnost::ResetNet();
  }
};

std::string NodeId(char kind, int index) { return kind + std::to_string(index + 1); }

}  // namespace

std::optional<netfmt::Net> ReadMatrixNet(const std::string& path, netfmt::Problem* problem) {
  const ReleaseNet release;
  std::vector<int32_t> tokens;
  varnost::KeepMarkingValues(&tokens);
  {
    const StdoutToStderr redirect;
    std::string copy = path;
    if (InitialisationNetMatrice(copy.data()) != 0) {
      *problem = netfmt::Problem{"the matrix net cannot be read (the reader's message is above)", {}};
      return std::nullopt;
    }
  }
  netfmt::NetBuilder builder;
  const bool named = NameObj != nullptr && NumObj != nullptr;
  bool ok = true;
  for (int p = 0; p < NbPlaces && ok; ++p) {
    const int32_t count = static_cast<size_t>(p) < tokens.size() && tokens[static_cast<size_t>(p)] > 0
                              ? tokens[static_cast<size_t>(p)]
                              : 0;
    ok = builder.AddPlace(NodeId('P', p), named ? NameObj[p] : "", count, {});
  }
  for (int t = 0; t < NbTrans && ok; ++t) {
    ok = builder.AddTransition(NodeId('T', t), named ? NameObj[NbPlaces + t] : "", {});
  }
  for (int p = 0; p < NbPlaces && ok; ++p) {
    const std::string place = NodeId('P', p);
    const t_EnsI out = Pl[p].TrOut;
    for (int i = 0; i < out->NbEl && ok; ++i) {
      const int t = out->Ens[i];
      ok = builder.AddArc({}, place, NodeId('T', t), Pre[p][t], {});
    }
    const t_EnsI in = Pl[p].TrIn;
    for (int i = 0; i < in->NbEl && ok; ++i) {
      const int t = in->Ens[i];
      ok = builder.AddArc({}, NodeId('T', t), place, Post[p][t], {});
    }
  }
  std::optional<netfmt::Net> net;
  if (ok) net = builder.Freeze();
  if (!net) *problem = builder.problem();
  return net;
}

}  // namespace pnconv

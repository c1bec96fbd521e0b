// SPDX-License-Identifier: MIT
// The PNML reader: one place/transition net of a PNML document (ISO/IEC
// 15909-2, net type .../grammar/ptnet), or one symmetric net
// (.../grammar/symmetricnet, or a ptnet that carries symmetric labels),
// unfolded into the place/transition net that behaves as it does
// (symmetric/unfold.h).
//
// What it guarantees:
// - Streaming: the document is parsed (by expat) chunk by chunk as it is
//   read; memory grows with the net, never with the document's text. No
//   tree of the document is built, but for a symmetric net (small beside
//   its unfolding) and for the first elements of a ptnet, until they show
//   it is none.
// - Safety: no DTD and no external entity is ever loaded, and a document that
//   declares an entity is refused at the declaration, so no entity is ever
//   expanded ("billion laughs" files end at once, in fixed memory). Any input
//   ends in a Net or a Problem; nothing is thrown but std::bad_alloc.
// - Content: places, transitions and arcs of the net and of its pages,
//   nested to any depth; reference places and transitions resolved to the
//   node they name (through chains); the texts of <name>, <initialMarking>
//   (default 0) and <inscription> (default 1). Graphics, tool-specific
//   sections and unknown labels are skipped. Names are trimmed of XML white
//   space.
// - Refusals (a Problem with the line and column): a document that is not
//   well-formed XML or not PNML; a net of another type (named); what the
//   symmetric net reader refuses (symmetric/net_reader.h); an arc of
//   another kind than a normal one (inhibitor, reset, read/test: named, with
//   the arc's id); a repeated id; an arc whose ends are unknown or not one
//   place and one transition; a marking or a weight that is not a decimal
//   integer within int (a weight must be 1 or more); several nets and no
//   netId (the ids are listed); a netId that names no net; no net at all.
#ifndef NETFMT_PNML_READER_H
#define NETFMT_PNML_READER_H

#include <optional>
#include <string>
#include <string_view>

#include "input_source.h"
#include "net.h"
#include "symmetric/unfold.h"

namespace netfmt {

struct PnmlOptions {
  // The id of the net to read; empty: the document's only net.
  std::string netId;
  // A symmetric net whose unfolding passes this many places and transitions
  // is refused.
  uint64_t maxNodes = symmetric::kDefaultMaxNodes;
};

// The net, or nothing with *problem set. A symmetric net is unfolded, and
// then *unfolded (when given) receives the figures.
std::optional<Net> ReadPnml(const ReadSome& input, const PnmlOptions& options, Problem* problem,
                            symmetric::UnfoldFigures* unfolded = nullptr);

}  // namespace netfmt

#endif

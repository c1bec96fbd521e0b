// SPDX-License-Identifier: MIT
// The PEP reader: a low-level net as the unfolders read it.
//
// What it guarantees:
// - Layout: the header line "PEP", a type line (PetriBox, PTNet, ...), then
//   FORMAT_N or FORMAT_N2; then sections, each started by a line of capital
//   letters. PL (places), TR (transitions), TP (arcs "t<p" from a transition
//   to a place), PT (arcs "p>t" from a place to a transition), RA (read arcs
//   "t<p") and RD (read arcs "p>t") carry the net; DBL, DPL, DTR, DPT, BL and
//   TX carry none and are skipped. A read arc becomes an arc from the place
//   to the transition and one back, both of its weight. A line that starts
//   with '%' is a comment, skipped wherever it stands.
// - Nodes: "[id]"name"..." with the attributes after the name; a node without
//   an id takes the one after the previous node's of its section. A place's
//   M attribute is its token count ("M" alone is 1), an arc's w attribute its
//   weight ("1<2w3"; 1 without it), both up to kMaxValue. Nodes are numbered
//   by ascending id, and get the ids "p<id>" and "t<id>" in the net. Names
//   are kept as bytes, between double or single quotes.
// - Refusals (a Problem with the line): a missing header or format line; a
//   file without one of the sections PL, TR, TP and PT (a file cut short),
//   naming the first one missing; sections a place/transition net cannot
//   hold (phantom transitions PTR and their arcs PTP and PPT, reset arcs RS)
//   at their first entry, named with what they hold, and every unknown
//   section; a line that is not a node or an arc; a weight field without a
//   number, or 0; a repeated id; an arc to a node that does not exist. Any
//   input ends in a Net or a Problem; the input is read chunk by chunk.
#ifndef NETFMT_PEP_READER_H
#define NETFMT_PEP_READER_H

#include <optional>

#include "input_source.h"
#include "net.h"

namespace netfmt {

std::optional<Net> ReadPep(const ReadSome& input, Problem* problem);

}  // namespace netfmt

#endif

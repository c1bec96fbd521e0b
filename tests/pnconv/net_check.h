// SPDX-License-Identifier: MIT
// Helpers of the net-format tests: reading from text, a net as one
// comparable text, and generated nets.
#ifndef QUARNEL_TESTS_PNCONV_NET_CHECK_H
#define QUARNEL_TESTS_PNCONV_NET_CHECK_H

#include <cstdint>
#include <optional>
#include <string>

#include "net.h"

namespace pnconvtest {

// The net as text: every place (name, tokens), every transition (name) and
// its arcs with weights, in node order. Two nets with the same text are the
// same net. With `ids`, node ids are part of the text.
std::string Dump(const netfmt::Net& net, bool ids = false);

std::optional<netfmt::Net> Pnml(const std::string& text, netfmt::Problem* problem,
                                const std::string& netId = "");
std::optional<netfmt::Net> Pep(const std::string& text, netfmt::Problem* problem);

// A net of `places` and `transitions` with random arcs (weights 1..3 when
// `weights`), tokens (0..3 when `weights`, else 0..1) and one-word names.
netfmt::Net RandomNet(uint32_t seed, int places, int transitions, bool weights);

}  // namespace pnconvtest

#endif

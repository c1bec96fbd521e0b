// SPDX-License-Identifier: MIT
// The PNML writer: one place/transition net on one page, as the PNML readers
// of the field read it (the 2009 grammar, net type .../grammar/ptnet).
//
// Ids: the net's own node ids when every one of them is an XML name (letters,
// digits, '_', '-', '.', bytes above 127; not starting with a digit, '-' or
// '.'), else p1.., t1..; arcs a1.. (made unique against the node ids). Names,
// token counts and weights are written exactly. Texts are escaped (&, <, >,
// quotes); a name that is not UTF-8 is read as ISO 8859-1, and control
// characters XML 1.0 cannot hold are written as U+FFFD.
#ifndef NETFMT_PNML_WRITER_H
#define NETFMT_PNML_WRITER_H

#include <string>
#include <string_view>

#include "net.h"
#include "writer_output.h"

namespace netfmt {

// Whether `id` is written as it stands (see above).
bool IsXmlName(std::string_view id);

// The text as XML character data or attribute value: escaped, UTF-8, with
// U+FFFD for what XML 1.0 cannot hold. *replaced is set when a character had
// to be replaced (it is left alone otherwise).
std::string XmlText(std::string_view text, bool* replaced);

// Writes the net with the net id `netId` (an XML name; with "_" added when a
// node has it) and commits the file.
bool WritePnml(const Net& net, std::string_view netId, OutputFile& out);

}  // namespace netfmt

#endif

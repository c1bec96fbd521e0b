// SPDX-License-Identifier: MIT
// Reading numbers and words from a stream as the "%d" and "%s" conversions
// of scanf do, with values checked against the int range.
#ifndef VARNOST_TEXT_SCAN_H
#define VARNOST_TEXT_SCAN_H

#include <cstdio>
#include <string>

#include "support/number_scan.h"

namespace varnost {

// The library's scanner: white space, an optional sign and digits; the byte
// after the digits is left unread. ScanInt is false when no digit follows (or
// at the end of the file), or when the value does not fit an int.
using qx::IsWhiteSpace;
using qx::ScanInt;
using qx::SkipWhiteSpace;

// White space, then every byte up to the next white space, whatever the
// length; the white space is left unread. False when no byte is left.
bool ScanWord(FILE* file, std::string* word);

}  // namespace varnost

#endif

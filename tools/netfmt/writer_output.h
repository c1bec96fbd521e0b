// SPDX-License-Identifier: MIT
// What every writer of the module writes into: the tools' one output file
// (tools/outfile/output_file.h), which appears only when complete.
#ifndef NETFMT_WRITER_OUTPUT_H
#define NETFMT_WRITER_OUTPUT_H

#include "output_file.h"

namespace netfmt {

using outfile::OutputFile;

}  // namespace netfmt

#endif

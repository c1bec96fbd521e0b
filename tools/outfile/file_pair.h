// SPDX-License-Identifier: MIT
// Two output files that belong together, such as a matrix file and its
// reference file: both replace their targets, or neither does.
#ifndef QUARNEL_TOOLS_OUTFILE_FILE_PAIR_H
#define QUARNEL_TOOLS_OUTFILE_FILE_PAIR_H

#include "output_file.h"

namespace outfile {

// Commits first and second together. Both texts are written out and closed
// before either target is touched, so a failed write (a full disk, a file
// size limit) changes neither. Then first's target is kept aside (a hard
// link, else a rename), first and second are renamed into place, and when
// second's rename fails first's previous file is put back (or, when it had
// none, its new file removed): after a failure both targets are what they
// were. SIGINT and SIGTERM are held meanwhile, so they cannot cut the series
// half-way; only a crash of the system there can leave one file new and the
// other old (the previous file then stays beside them under a temporary
// name). A target written in place or a stream cannot be taken back: such a
// file is written as it goes, and the other is then committed alone.
//
// False on any failure; error() of the file at fault says why (both are then
// discarded).
bool CommitTogether(OutputFile& first, OutputFile& second);

}  // namespace outfile

#endif

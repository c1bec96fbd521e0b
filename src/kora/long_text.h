// SPDX-License-Identifier: MIT
// Splitting of long texts into numbered piece commands. Not part of the public
// interface; the public senders are QxClSendTextResponse and
// QxClSendMultipleText.
#ifndef QUARNEL_SRC_KORA_LONG_TEXT_H
#define QUARNEL_SRC_KORA_LONG_TEXT_H

#include "quarnel/QXTypes.h"
#include "quarnel/SqTypes.h"

extern "C" {

// Longest head, in bytes, that leaves room for a piece: the piece budget is
// kQx_PieceBase minus the head's length.
enum { kQx_PieceBase = 235 };

// Sends a text line by line, each line as one or more pieces; the pieces of
// the whole text are numbered in one sequence. globalSize 0 gives the plain
// form (every piece a complete command), otherwise the numbered form with the
// negated total size in the first piece.
void QxClSendText(const char* koraPrefix, QxConstISOStr textBuffer, SqSize_t globalSize);

// Sends one line (textLen bytes, no line feed) as pieces no longer than the
// budget, cut after the preferred cut character; advances *pCount.
void QxClSendSeveralText(const char* koraPrefix, QxConstISOStr textBuffer, SqSize_t textLen,
                         long* pCount, QxBoolean perhapsFirstLine, QxBoolean perhapsLastLine,
                         SqSize_t globalSize);

// Composes and sends one piece command.
void QxClSendOneText(const char* koraPrefix, QxConstISOStr textBuffer, SqSize_t textLen,
                     long count, QxBoolean firstLine, QxBoolean lastLine, SqSize_t globalSize);

}  // extern "C"

#endif

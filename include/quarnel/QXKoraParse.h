// SPDX-License-Identifier: MIT
/* Parsing one KORA command, for instance a command the host sent the tool.
 *
 * A command is a name (a letter, then letters, digits or '_'), "(", its
 * arguments separated by commas, ")". Each argument is empty, an integer
 * (signed decimal, no '+', no leading zeros, no "-0", within the range of a
 * long) or a counted string: its byte count in decimal (no leading zeros), a
 * colon and exactly that many bytes, which may be anything (commas,
 * parentheses, colons, line breaks, NUL bytes). "NAME()" has no argument; any
 * other command has one argument more than it has commas outside its strings.
 * One line feed may follow the closing ")".
 *
 * QxParseKora(text, length, command) reads text[0..length) as one whole
 * command. It returns 0 when it is one, and fills *command. Otherwise it
 * returns 1 + the offset of the first byte at which the text can no longer be
 * the start of a command: length + 1 when the text is cut short (it ends
 * before the command does), and, for an integer outside the range of a long,
 * the offset of the integer's first byte (its sign or first digit). A command
 * of more than QX_KORA_MAX_ARGS arguments breaks at the comma that would open
 * one more.
 *
 * The name and the arguments' texts point into the caller's text, which must
 * outlive their use; nothing is allocated, nothing is traced and QxErrno() is
 * left as it was. After a fault, name and nameLength hold the name when a "("
 * followed it (else null and 0), and argCount counts the arguments read whole
 * before the break. Entries of args from argCount on are left as they
 * were. A null command checks the syntax only; a null text breaks at its
 * first byte (the result is 1). */
#ifndef QUARNEL_QXKORAPARSE_H
#define QUARNEL_QXKORAPARSE_H

#include <stddef.h>

#include "quarnel/QXTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

#define QX_KORA_MAX_ARGS 128

typedef enum QxKoraArgKind {
  kQx_KoraEmpty = 0,   /* nothing between the separators; text null, length 0 */
  kQx_KoraInteger = 1, /* integer holds the value; text and length the digits, sign included */
  kQx_KoraString = 2   /* text points at the first counted byte; length is the count */
} QxKoraArgKind;

typedef struct QxKoraArg {
  QxKoraArgKind kind;
  long integer; /* the value of an integer argument, else 0 */
  const char* text;
  size_t length;
} QxKoraArg;

typedef struct QxKoraCommand {
  const char* name; /* not NUL-terminated: nameLength bytes */
  size_t nameLength;
  int argCount;
  QxKoraArg args[QX_KORA_MAX_ARGS];
} QxKoraCommand;

QX_API size_t QxParseKora(const char* text, size_t length, QxKoraCommand* command) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif

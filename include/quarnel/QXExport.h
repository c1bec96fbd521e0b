// SPDX-License-Identifier: MIT
/* QX_API marks every operation, datum and constant of the public interface.
 *
 * The library is compiled with hidden visibility: in its shared form it
 * exports what carries QX_API and nothing else. The tool's own definitions
 * that the library calls (QxServiceMain and the identity constants, QXMain.h)
 * carry it too, so that a tool compiled with hidden visibility still offers
 * them to the shared library. Usable from C and C++. */
#ifndef QUARNEL_QXEXPORT_H
#define QUARNEL_QXEXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define QX_API __attribute__((visibility("default")))
#else
#define QX_API
#endif

#endif

// SPDX-License-Identifier: MIT
/* QX_API marks every operation, datum and constant of the public interface.
 *
 * The library is compiled with hidden visibility: in its shared form it
 * exports what carries QX_API and nothing else. The tool's own definitions
 * that the library calls (QxServiceMain and the identity constants, QXMain.h)
 * carry it too, so that a tool compiled with hidden visibility still offers
 * them to the shared library. Usable from C and C++.
 *
 * What the ABI promises within SONAME libquarnel.so.1: every function and
 * datum exported by version 1.1.0 stays exported, with the same signature;
 * the records of the public headers keep their members, order and size; the
 * values of the enumerations and constants stay. New functions may be added
 * (a program that uses one needs the library at least that new: the Debian
 * symbols file says which). Exported data of fixed size is copied into each
 * program that uses it (copy relocations), so its size and layout are frozen
 * as well: g_tmpTrace keeps its kQx_TmpTraceSize (2000) bytes and
 * QxDefaultStructTab its entries and element type for as long as the SONAME
 * is 1; growing either takes a new SONAME. A change that breaks any of this
 * is refused by the build's ABI check (abidiff against
 * cmake/abi/libquarnel.so.1.abi). */
#ifndef QUARNEL_QXEXPORT_H
#define QUARNEL_QXEXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define QX_API __attribute__((visibility("default")))
#else
#define QX_API
#endif

#endif

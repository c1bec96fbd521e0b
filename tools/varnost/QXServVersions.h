// SPDX-License-Identifier: MIT
/* Identity of the tool: kit, name, version and copyright line, as announced to
 * the host and printed by "-version". */
#ifndef VARNOST_QXSERVVERSIONS_H
#define VARNOST_QXSERVVERSIONS_H

#define QX_SERV_KIT_NAME "MIRLAN"
#define QX_SERV_TOOL_NAME "Varnost"
/* The tool's version towards the host, part of the protocol: START_TOOL and
 * "-version" have always said "1.1" and hosts compare it. It is not the
 * package's version (QUARNEL_VERSION_STRING, "varnost --version") and does
 * not follow it. */
#define QX_SERV_TOOL_VERSION "1.1"
#define QX_SERV_TOOL_COPYRIGHT "(c) the Varnost authors"

#endif

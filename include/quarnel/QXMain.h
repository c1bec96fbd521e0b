// SPDX-License-Identifier: MIT
/* The process frame every tool gets from the library.
 *
 * The library defines main(): it parses the framework's command line
 * (QxEnvInit), announces the tool to the host (START_TOOL), reads the basic
 * information, calls the tool's QxServiceMain with the tool's own arguments
 * (argv[0] is the empty string standing for the program name), and ends the run
 * (END_TOOL, end lock file in standard-output mode). Exit status: 0, or 1 for
 * kQx_EndOnError.
 *
 * Each tool supplies, with C linkage:
 *   QxEndStatus QxServiceMain(int argc, char** argv);
 *   const char kQx_KitName[], kQx_ToolName[], kQx_ToolVersion[],
 *              kQx_ToolCopyright[];
 * The four constants are the tool's identity: kit, name (the first field of
 * every standard-error trace line), version and copyright string, announced
 * in START_TOOL and printed by "-version". A kit name of "DEFAULT" makes every
 * start print a note on standard error. The library refers to the four
 * constants weakly and needs none of them to link: a program that defines its
 * own main and no identity links against the static and the shared library
 * alike, and reads the kit and tool name "DEFAULT" and an empty version and
 * copyright (QxEnvKitName() and its neighbours, QXEnv.h).
 *
 * A C tool writes for instance:
 *   const char kQx_ToolName[] = "MyTool";
 * A C++ tool writes extern "C": at namespace scope a const array has internal
 * linkage in C++, and in a file that does not include QXEnv.h (which declares
 * the constants extern "C") first, the link fails with "undefined reference to
 * `kQx_ToolName'":
 *   extern "C" const char kQx_KitName[] = "EXAMPLE";
 *   extern "C" const char kQx_ToolName[] = "MyTool";
 *   extern "C" const char kQx_ToolVersion[] = "1.0";
 *   extern "C" const char kQx_ToolCopyright[] = "(c) me";
 *   extern "C" QxEndStatus QxServiceMain(int argc, char** argv) { ... }
 *
 * End statuses: kQx_EndNoProblem sends END_TOOL(0) and exits with 0,
 * kQx_EndOnWarning END_TOOL(1) and 0, kQx_EndOnError END_TOOL(2) and 1; any
 * other value counts as kQx_EndNoProblem. An exception of any type that
 * escapes QxServiceMain is traced and ends the run as kQx_EndOnError. END_TOOL is sent
 * only when the host started the tool, at most once, always last.
 *
 * How QxExit returns to main: it throws a private C++ exception that only
 * main catches. Destructors of C++ frames between the call and main run as the
 * exception passes (nothing is leaked or left half-done in C++ tools); C
 * frames are passed over without running any of their code. Tools written in C
 * must therefore be compiled with unwind tables (-fexceptions, which the
 * pkg-config and CMake packages add; x86-64 compilers emit them by default).
 * Do not catch (...) around a call that may reach QxExit without rethrowing.
 * In a program that defines its own main, QxExit ends the run through the same
 * end routine and exits with its status.
 *
 * Broken pipes: the library's main catches SIGPIPE with a handler that does
 * nothing, so a write to a host or peer that has gone fails (kQx_BrokenCom on
 * a channel) instead of killing the tool, and the run still ends with its exit
 * status. Programs the tool starts get the default disposition back at exec.
 * SIGPIPE stays harmless as long as the tool leaves its disposition alone; a
 * tool that changes it (SIG_DFL, a handler of its own) takes broken pipes
 * over: with SIG_DFL, a write to a FIFO or pipe whose reader is gone ends the
 * tool. Sockets are always written with MSG_NOSIGNAL and never raise it. In a
 * program that defines its own main, the library's writes block SIGPIPE
 * around each write, so they fail without the signal. */
#ifndef QUARNEL_QXMAIN_H
#define QUARNEL_QXMAIN_H

#include "quarnel/QXTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The tool's service entry, defined by the tool; main calls it once. argv[0]
 * is the empty string, argv[1] the first argument after the marker "-s" or
 * "-end_env_p"; argc counts argv[0]. Returns the end status. */
QX_API QxEndStatus QxServiceMain(int argc, char** argv);

/* A service entry: QxServiceMain's type. */
typedef QxEndStatus (*QxServiceEntry)(int argc, char** argv);

/* The library's main: everything main does, described above, on main's own
 * arguments, with service as the service entry; returns the exit status. The
 * library's main is one line, "return QxMain(argc, argv, QxServiceMain);",
 * kept in a small static archive of its own (libquarnel_main.a) that every
 * tool links before the library, so that a tool linked with the shared
 * library gets it too, and a program that defines its own main never pulls
 * it in nor needs a QxServiceMain. Call it once, from main. */
QX_API int QxMain(int argc, char** argv, QxServiceEntry service);

/* Ends the service at once with the given end status; never returns.
 * QxExit(0) is refused with a trace and aborts the process. */
QX_API void QxExit(QxEndStatus qxEndStatus);

/* Ends the tool with kQx_EndOnError (END_TOOL(2), end lock file) and then
 * aborts the process; never returns. */
QX_API void QxAbort(void) QX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif

// SPDX-License-Identifier: MIT
// Peer program of the link tests.
//
//   qxpeer -s IN OUT   FIFO server consumer: reads IN, writes OUT
//   qxpeer -s PORT     socket server consumer on the local host
//   qxpeer ARGS...     report mode
//
// As a server consumer it answers every message M with "echo:M" until the
// link ends, then closes its side; exit status 0, or 2 when the link could not
// be opened. In report mode it writes the file "qxpeer.report" in its working
// directory (atomically): one line "arg:<text>" per argument, argv[0]
// included, one line "fd:<n>" per descriptor open when it started, a line
// "pid:<n>" with its process id, a line "mark:<value>" when it carries the
// launched-peer mark, and, when
// argv[1] is "--stdin", a line "stdin:<text>" with everything read from its
// standard input. "--wait-file F" among the arguments makes it wait until F
// exists before writing the report. It never lives longer than 30 seconds.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "quarnel/QXEnv.h"
#include "quarnel/QXLink.h"

namespace {

std::vector<int> OpenDescriptors() {
  std::vector<int> fds;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return fds;
  int own = dirfd(dir);
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    int fd = std::atoi(entry->d_name);
    if (fd != own) fds.push_back(fd);
  }
  closedir(dir);
  return fds;
}

void Echo(int din, int dout) {
  static char buffer[kQx_MaxMessageLength + 1];
  for (;;) {
    int n = QX_Read_Sync(din, buffer);
    if (n <= 0) return;
    buffer[n] = '\0';
    std::string reply = std::string("echo:") + buffer;
    if (QX_Write_Sync(dout, reply.c_str()) < 0) return;
  }
}

int Report(int argc, char** argv, const std::vector<int>& fds) {
  std::string text;
  for (int i = 0; i < argc; ++i) text += std::string("arg:") + argv[i] + "\n";
  for (int fd : fds) text += "fd:" + std::to_string(fd) + "\n";
  text += "pid:" + std::to_string(getpid()) + "\n";
  if (const char* mark = std::getenv("QX_LAUNCHED_PEER")) text += std::string("mark:") + mark + "\n";
  if (argc > 1 && std::strcmp(argv[1], "--stdin") == 0) {
    std::string in;
    char buf[512];
    ssize_t n;
    while ((n = read(0, buf, sizeof buf)) > 0) in.append(buf, static_cast<size_t>(n));
    text += "stdin:" + in + "\n";
  }
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--wait-file") != 0) continue;
    while (access(argv[i + 1], F_OK) != 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  FILE* out = std::fopen("qxpeer.report.tmp", "w");
  if (out == nullptr) return 3;
  std::fputs(text.c_str(), out);
  std::fclose(out);
  return std::rename("qxpeer.report.tmp", "qxpeer.report") == 0 ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> fds = OpenDescriptors();
  alarm(30);
  signal(SIGPIPE, SIG_IGN);
  g_qxStandalone = kQx_True;
  if (argc == 4 && std::strcmp(argv[1], "-s") == 0) {
    int din = -1;
    int dout = -1;
    if (OpenFifoConnexionForServerConsumer(argv[2], argv[3], &din, &dout) != 0) return 2;
    Echo(din, dout);
    CloseFifoConnexionForServerConsumer(din, dout);
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "-s") == 0) {
    int d = -1;
    if (OpenSocketConnexionForServerConsumer(std::atoi(argv[2]), &d) != 0) return 2;
    Echo(d, d);
    CloseSocketConnexionForServerConsumer(d);
    return 0;
  }
  return Report(argc, argv, fds);
}

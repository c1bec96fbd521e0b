// SPDX-License-Identifier: MIT
// A tool that misbehaves on purpose, written without the library, to show
// that the host stand-in reports a broken conversation and never hangs. It
// takes the framework's FIFO options like a tool, opens its ends in the tool's
// order, then does what the first argument after -end_env_p asks:
//   send CMD...  START_TOOL, each CMD as a command of its own, END_TOOL(0)
//               (in both modes; with -std_out the end lock file follows)
//   bad-length  START_TOOL, then a frame whose length word is absurd, and
//               more bytes once the stand-in has hung up
//   die         START_TOOL, then killed by SIGKILL
//   hang        START_TOOL, then sleeps until killed
//   no-start    END_TOOL(0) only
//   no-end      START_TOOL only
//   cut         START_TOOL, then half a frame
//   after-end   START_TOOL, END_TOOL(0), then another command
//   paced MS CMD...  like send, with a pause of MS milliseconds before each
//               CMD (and before END_TOOL), so that each wait of a script
//               lasts at least that long
//   slow-read   START_TOOL, then reads its input in small bites with a pause
//               between them until the input ends, and sends
//               TR(N:<lines> lines, hash <h>): the count of the frames read
//               and the FNV-1a hash of their texts, each followed by a line
//               feed; then END_TOOL(0)
// With -std_out instead, it writes lines on standard output:
//   lock-early  the end lock file, START_TOOL, then END_TOOL(0) once the
//               stand-in has read START_TOOL and gone back to waiting (so it
//               has looked for the lock file with START_TOOL alone read)
//   no-lock     START_TOOL and END_TOOL(0) without the end lock file
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Frame(int fd, const std::string& text) {
  const int64_t length = static_cast<int64_t>(text.size());
  std::string frame(reinterpret_cast<const char*>(&length), sizeof length);
  frame += text;
  (void)!::write(fd, frame.data(), frame.size());
}

// Whether process pid is blocked in poll.
bool BlockedInPoll(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/syscall";
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return false;
  long number = -1;
  const bool read = std::fscanf(file, "%ld", &number) == 1;
  std::fclose(file);
#ifdef SYS_poll
  if (read && number == SYS_poll) return true;
#endif
  return read && number == SYS_ppoll;
}

// Waits, at most five seconds, until the stand-in (the parent) has read all
// of standard output and is blocked in poll again: it has then been through
// a whole round of its loop, lock file check included, since the last read.
bool StandInWaitsAgain() {
  const timespec step{0, 1000 * 1000};
  for (int i = 0; i < 5000; ++i, ::nanosleep(&step, nullptr)) {
    int unread = -1;
    if (::ioctl(1, FIONREAD, &unread) == 0 && unread == 0 && BlockedInPoll(::getppid())) {
      return true;
    }
  }
  return false;
}

// Reads frames from fd until its end, a thousand bytes at a time with a
// pause after each bite, so that the writer meets a full FIFO again and
// again. Returns "<count> lines, hash <h>" over the frames' texts.
std::string ReadSlowly(int fd) {
  std::string pending;
  uint64_t hash = 1469598103934665603u;
  size_t lines = 0;
  char bite[1000];
  const timespec pause{0, 200 * 1000};
  for (;;) {
    const ssize_t n = ::read(fd, bite, sizeof bite);
    if (n <= 0) break;
    pending.append(bite, static_cast<size_t>(n));
    for (;;) {
      int64_t length = 0;
      if (pending.size() < sizeof length) break;
      std::memcpy(&length, pending.data(), sizeof length);
      if (pending.size() - sizeof length < static_cast<uint64_t>(length)) break;
      const std::string text = pending.substr(sizeof length, static_cast<size_t>(length)) + "\n";
      for (const char c : text) hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211u;
      ++lines;
      pending.erase(0, sizeof length + static_cast<size_t>(length));
    }
    ::nanosleep(&pause, nullptr);
  }
  return std::to_string(lines) + " lines, hash " + std::to_string(hash);
}

}  // namespace

int main(int argc, char** argv) {
  const char* in = nullptr;
  const char* out = nullptr;
  const char* what = "";
  std::vector<std::string> commands;  // the commands of "send"
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-fifo_in_out") == 0 && i + 2 < argc) {
      in = argv[i + 1];
      out = argv[i + 2];
      i += 2;
    } else if (std::strcmp(argv[i], "-end_env_p") == 0) {
      if (i + 1 < argc) what = argv[i + 1];
      commands.assign(argv + std::min(i + 2, argc), argv + argc);
      break;
    }
  }
  const std::string mode = what;
  if (in == nullptr) {
    if (mode == "lock-early") std::fclose(std::fopen("QX_MNGR/QX_exec_finished.lock", "w"));
    std::puts("START_TOOL(1:C,2,1,2,6,2,3,4:Fake,1:1,0:)");
    std::fflush(stdout);
    if (mode == "send") {
      for (const std::string& command : commands) std::puts(command.c_str());
      std::puts("END_TOOL(0)");
      std::fflush(stdout);
      std::fclose(std::fopen("QX_MNGR/QX_exec_finished.lock", "w"));
      return 0;
    }
    if (mode == "lock-early" && !StandInWaitsAgain()) return 3;
    std::puts("END_TOOL(0)");
    return 0;
  }
  const int fd = ::open(out, O_WRONLY);
  const int in_fd = fd < 0 ? -1 : ::open(in, O_RDONLY);
  if (in_fd < 0) return 2;
  if (mode != "no-start") Frame(fd, "START_TOOL(1:C,2,1,2,6,2,3,4:Fake,1:1,0:)");
  if (mode == "bad-length") {
    const int64_t absurd = int64_t{1} << 40;
    (void)!::write(fd, &absurd, sizeof absurd);
    // Write again only once the stand-in has hung up (the write end then
    // reports an error): the tool dies of the broken pipe, every time, and
    // the verdict must still be the fault. Bounded, so a stand-in that never
    // hangs up fails the test instead of hanging it.
    pollfd hungUp{fd, 0, 0};
    if (::poll(&hungUp, 1, 10000) != 1) return 3;
    (void)!::write(fd, "junk", 4);
  } else if (mode == "die") {
    ::raise(SIGKILL);
  } else if (mode == "hang") {
    for (;;) ::pause();
  } else if (mode == "no-start") {
    Frame(fd, "END_TOOL(0)");
  } else if (mode == "cut") {
    const int64_t length = 100;
    (void)!::write(fd, &length, sizeof length);
    (void)!::write(fd, "TR(3:abc", 8);
  } else if (mode == "send") {
    for (const std::string& command : commands) Frame(fd, command);
    Frame(fd, "END_TOOL(0)");
  } else if (mode == "paced" && !commands.empty()) {
    const long ms = std::strtol(commands[0].c_str(), nullptr, 10);
    const timespec pause{ms / 1000, (ms % 1000) * 1000 * 1000};
    for (size_t i = 1; i < commands.size(); ++i) {
      ::nanosleep(&pause, nullptr);
      Frame(fd, commands[i]);
    }
    ::nanosleep(&pause, nullptr);
    Frame(fd, "END_TOOL(0)");
  } else if (mode == "slow-read") {
    const std::string summary = ReadSlowly(in_fd);
    Frame(fd, "TR(" + std::to_string(summary.size()) + ":" + summary + ")");
    Frame(fd, "END_TOOL(0)");
  } else if (mode == "after-end") {
    Frame(fd, "END_TOOL(0)");
    Frame(fd, "TR(5:later)");
  }
  return 0;
}

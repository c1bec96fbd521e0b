#include "session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "conversation.h"
#include "quarnel/QXChannel.h"
#include "workspace.h"

namespace qxhost {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTickMs = 20;

void CloseFd(int* fd) {
  if (*fd >= 0) ::close(*fd);
  *fd = -1;
}

// Starts argv in dir with standard output on stdout_fd. Returns the child's pid,
// or -1 with a message when it could not start its program.
pid_t StartTool(const std::vector<std::string>& args, const std::string& dir, int stdout_fd,
                std::string* error) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  // The child reports a failure before or in exec through this pipe; a
  // successful exec closes it.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return -1;
  }
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    *error = std::string("fork: ") + std::strerror(errno);
    ::close(report[0]);
    ::close(report[1]);
    return -1;
  }
  if (pid == 0) {
    ::close(report[0]);
    int failure[2] = {0, 0};  // step, errno
    if (::chdir(dir.c_str()) != 0) {
      failure[1] = errno;
    } else if (stdout_fd != STDOUT_FILENO && ::dup2(stdout_fd, STDOUT_FILENO) < 0) {
      failure[0] = 1;
      failure[1] = errno;
    } else {
      ::execvp(argv[0], argv.data());
      failure[0] = 2;
      failure[1] = errno;
    }
    (void)!::write(report[1], failure, sizeof failure);
    ::_exit(127);
  }
  ::close(report[1]);
  int failure[2];
  ssize_t got;
  do {
    got = ::read(report[0], failure, sizeof failure);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof failure)) {
    static const char* const kSteps[] = {"cannot enter the workspace", "dup2",
                                         "cannot start the tool"};
    *error = std::string(kSteps[failure[0]]) + ": " + std::strerror(failure[1]);
    ::waitpid(pid, nullptr, 0);
    return -1;
  }
  return pid;
}

class Session {
 public:
  Session(const Options& options, const std::string& workspace)
      : options_(options),
        workspace_(workspace),
        lock_path_(workspace + "/QX_MNGR/QX_exec_finished.lock"),
        frames_(kQx_MaxMessageLength) {}

  ~Session() {
    CloseFd(&in_fd_);
    CloseFd(&out_fd_);
    if (!fifo_dir_.empty()) RemoveTree(fifo_dir_);
  }

  int Run();

 private:
  bool SetUp(std::vector<std::string>* argv, int* tool_stdout, std::string* error);
  void Loop();
  void ReadAvailable();
  void TryOpenOutput();
  void CheckLockFile();
  void Handle(const std::string& command);
  void CloseEnds();
  int Verdict();

  const Options& options_;
  const std::string workspace_;
  const std::string lock_path_;
  std::string fifo_dir_;
  std::string to_tool_;  // the FIFO the tool reads; the stand-in writes it

  int in_fd_ = -1;   // what the tool sends
  int out_fd_ = -1;  // what the tool reads (FIFO mode)
  bool eof_ = false;  // the last read met end of file
  bool closed_ = false;      // the stand-in stopped listening (--close-after or a bad frame)
  bool host_left_ = false;   // closed by --close-after
  pid_t pid_ = -1;
  int wait_status_ = 0;
  bool timed_out_ = false;
  bool lock_seen_ = false;
  bool end_before_lock_ = false;

  FrameSplitter frames_;
  LineSplitter lines_;
  Conversation conversation_;
};

bool Session::SetUp(std::vector<std::string>* argv, int* tool_stdout, std::string* error) {
  argv->push_back(options_.tool);
  if (options_.std_out) {
    ::unlink(lock_path_.c_str());
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      *error = std::string("pipe: ") + std::strerror(errno);
      return false;
    }
    in_fd_ = fds[0];
    *tool_stdout = fds[1];
    argv->push_back("-std_out");
  } else {
    fifo_dir_ = MakeTempDir("qxhost-fifo", error);
    if (fifo_dir_.empty()) return false;
    to_tool_ = fifo_dir_ + "/to_tool";
    const std::string from_tool = fifo_dir_ + "/from_tool";
    for (const std::string* path : {static_cast<const std::string*>(&to_tool_), &from_tool}) {
      if (::mkfifo(path->c_str(), 0600) != 0) {
        *error = "mkfifo " + *path + ": " + std::strerror(errno);
        return false;
      }
    }
    // The tool opens its output (this end) first, then its input. Opening this
    // end without blocking lets the tool's first open proceed at once; the
    // other end is opened in the loop once the tool waits on it, so neither
    // side can block the other for good.
    in_fd_ = ::open(from_tool.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in_fd_ < 0) {
      *error = "open " + from_tool + ": " + std::strerror(errno);
      return false;
    }
    // The tool's standard output is not the conversation: it goes to the
    // stand-in's standard error so that standard output holds commands only.
    *tool_stdout = STDERR_FILENO;
    for (const char* arg : {"-framwrk_on_fifo", "-fifo_in_out"}) argv->push_back(arg);
    argv->push_back(to_tool_);
    argv->push_back(from_tool);
  }
  for (const std::string& option : options_.tool_options) argv->push_back(option);
  argv->push_back("-end_env_p");
  for (const std::string& arg : options_.tool_args) argv->push_back(arg);
  return true;
}

int Session::Run() {
  std::vector<std::string> argv;
  int tool_stdout = -1;
  std::string error;
  bool ok = SetUp(&argv, &tool_stdout, &error);
  if (ok) {
    if (in_fd_ >= 0) ::fcntl(in_fd_, F_SETFL, ::fcntl(in_fd_, F_GETFL) | O_NONBLOCK);
    pid_ = StartTool(argv, workspace_, tool_stdout, &error);
    ok = pid_ > 0;
  }
  if (options_.std_out && tool_stdout >= 0) ::close(tool_stdout);
  if (!ok) {
    std::fprintf(stderr, "qxhost: %s\n", error.c_str());
    return kSetupError;
  }
  Loop();
  return Verdict();
}

void Session::Loop() {
  const auto deadline = Clock::now() + std::chrono::milliseconds(options_.timeout_ms);
  if (options_.close_after == 0 && options_.std_out) CloseEnds();
  for (;;) {
    if (in_fd_ >= 0 && !eof_) {
      pollfd pfd{in_fd_, POLLIN, 0};
      ::poll(&pfd, 1, kTickMs);
    } else {
      ::poll(nullptr, 0, kTickMs);
    }
    ReadAvailable();
    if (!options_.std_out && out_fd_ < 0 && !closed_) TryOpenOutput();
    if (options_.std_out && !lock_seen_ && !closed_) CheckLockFile();

    const pid_t done = ::waitpid(pid_, &wait_status_, WNOHANG);
    if (done == pid_) break;
    if (Clock::now() >= deadline) {
      timed_out_ = true;
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &wait_status_, 0) < 0 && errno == EINTR) {
      }
      break;
    }
  }
  // The tool has ended: what it wrote is all waiting in the pipe.
  ReadAvailable();
  if (closed_) return;
  if (options_.std_out) {
    const std::string rest = lines_.TakeRest();
    if (!rest.empty()) {
      if (IsCommandShaped(rest)) {
        Handle(rest);
      } else {
        std::fprintf(stderr, "qxhost: tool output: %s\n", rest.c_str());
      }
    }
  } else if (frames_.HasPartial()) {
    conversation_.Fault("a frame cut short at the end of the stream");
  }
}

void Session::ReadAvailable() {
  if (in_fd_ < 0) return;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(in_fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    if (n <= 0) {
      // End of file: no writer now (not yet, or no more). The loop then
      // sleeps between attempts instead of polling a descriptor that stays
      // ready; later data is still read at the next attempt.
      if (n < 0) conversation_.Fault(std::string("read: ") + std::strerror(errno));
      eof_ = true;
      return;
    }
    eof_ = false;
    if (options_.std_out) {
      lines_.Append(buffer, static_cast<size_t>(n));
      std::string line;
      while (!closed_ && lines_.Next(&line)) {
        if (IsCommandShaped(line)) {
          Handle(line);
        } else {
          std::fprintf(stderr, "qxhost: tool output: %s\n", line.c_str());
        }
      }
    } else {
      frames_.Append(buffer, static_cast<size_t>(n));
      std::string text;
      int64_t bad_length = 0;
      for (bool more = true; more && !closed_;) {
        switch (frames_.Next(&text, &bad_length)) {
          case FrameSplitter::Result::kFrame:
            Handle(text);
            break;
          case FrameSplitter::Result::kMarker:
            std::fprintf(stderr, "qxhost: end-of-link marker received\n");
            break;
          case FrameSplitter::Result::kBadLength:
            // The stream cannot be followed past a bad length word: stop
            // listening, which also lets the tool's next write fail.
            conversation_.Fault("bad frame length " + std::to_string(bad_length));
            CloseEnds();
            break;
          case FrameSplitter::Result::kNeedMore:
            more = false;
            break;
        }
      }
    }
    if (closed_) return;
  }
}

void Session::TryOpenOutput() {
  // Succeeds once the tool has its input open for reading (ENXIO before).
  out_fd_ = ::open(to_tool_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (out_fd_ < 0) {
    if (errno != ENXIO) {
      conversation_.Fault("open " + to_tool_ + ": " + std::strerror(errno));
      CloseEnds();
    }
    return;
  }
  if (options_.close_after == 0) CloseEnds();
}

void Session::CheckLockFile() {
  if (::access(lock_path_.c_str(), F_OK) != 0) return;
  lock_seen_ = true;
  // Everything the tool flushed before creating the file is in the pipe now.
  ReadAvailable();
  end_before_lock_ = conversation_.has_end();
}

void Session::Handle(const std::string& command) {
  std::fwrite(command.data(), 1, command.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  conversation_.Command(command);
  if (options_.close_after >= 0 &&
      conversation_.count() >= static_cast<size_t>(options_.close_after)) {
    host_left_ = true;
    CloseEnds();
  }
}

void Session::CloseEnds() {
  closed_ = true;
  CloseFd(&in_fd_);
  CloseFd(&out_fd_);
}

int Session::Verdict() {
  const bool exited = WIFEXITED(wait_status_) && !timed_out_;
  const int status = exited ? WEXITSTATUS(wait_status_) : -1;
  // A tool that stops at its command line before any exchange has not begun a
  // conversation: that is its own failure, not a protocol fault.
  const bool never_began = exited && status != 0 && conversation_.count() == 0;
  if (!never_began) conversation_.Finish(!host_left_);
  if (exited && !host_left_) conversation_.CheckExitStatus(status);
  if (options_.std_out && exited && !host_left_ && !never_began) {
    if (!lock_seen_ && ::access(lock_path_.c_str(), F_OK) != 0) {
      conversation_.Fault("no end lock file QX_MNGR/QX_exec_finished.lock");
    } else if (lock_seen_ && !end_before_lock_) {
      conversation_.Fault("the end lock file existed before END_TOOL(n) was on standard output");
    }
  }

  for (const std::string& fault : conversation_.faults())
    std::fprintf(stderr, "qxhost: protocol fault: %s\n", fault.c_str());
  std::fprintf(stderr, "qxhost: %zu command%s received%s\n", conversation_.count(),
               conversation_.count() == 1 ? "" : "s",
               host_left_ ? " (the stand-in then closed its ends)" : "");
  if (timed_out_) {
    std::fprintf(stderr, "qxhost: time limit of %d ms reached: tool killed\n",
                 options_.timeout_ms);
    return kToolAborted;
  }
  if (WIFSIGNALED(wait_status_)) {
    const int sig = WTERMSIG(wait_status_);
    std::fprintf(stderr, "qxhost: tool killed by signal %d (%s)\n", sig, strsignal(sig));
    // A broken pipe after the stand-in hung up on a bad frame is the effect of
    // that fault, not a second one: whether the tool writes again before it
    // ends is a race, and the verdict must not depend on it.
    const bool hung_up_on_fault = closed_ && !host_left_ && !conversation_.faults().empty();
    if (sig == SIGPIPE && hung_up_on_fault) return kProtocolFault;
    return kToolAborted;
  }
  std::fprintf(stderr, "qxhost: tool exited with status %d\n", status);
  if (!conversation_.faults().empty()) return kProtocolFault;
  return status == 0 ? kSuccess : kToolFailed;
}

}  // namespace

int RunSession(const Options& options, const std::string& workspace) {
  Session session(options, workspace);
  return session.Run();
}

}  // namespace qxhost

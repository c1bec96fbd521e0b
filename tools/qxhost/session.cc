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
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "conversation.h"
#include "kora_syntax.h"
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

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The absolute path of the program the caller means by tool, taken from the
// caller's current directory: a path with a slash as it stands, a bare name
// searched in PATH (an empty entry is the current directory). Resolved before
// the tool is started in the workspace, where relative paths would mean
// something else. Empty with a message when a bare name is not found.
std::string FindProgram(const std::string& tool, std::string* error) {
  if (tool.find('/') != std::string::npos) return Absolute(tool);
  const char* path = std::getenv("PATH");
  const std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  for (size_t begin = 0;;) {
    const size_t end = dirs.find(':', begin);
    std::string dir = dirs.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + tool;
    if (IsExecutableFile(candidate)) return Absolute(candidate);
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  *error = "cannot start the tool " + tool + ": not found in PATH";
  return {};
}

// Reads the whole regular file at path. A FIFO or a device is refused without
// being opened for good, so that a tool naming one cannot make the stand-in
// wait.
bool ReadRegularFile(const std::string& path, std::string* content, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0;
  if (!ok) {
    *error = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    *error = "not a regular file";
    ok = false;
  }
  char buffer[65536];
  while (ok) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = std::strerror(errno);
      ok = false;
    }
    if (n <= 0) break;
    content->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

// Starts the program args[0] (an absolute path) with args in dir, standard
// output on stdout_fd and, when quiet_stdin, standard input from /dev/null.
// Returns the child's pid, or -1 with a message when it could not start its
// program.
pid_t StartTool(const std::vector<std::string>& args, const std::string& dir, int stdout_fd,
                bool quiet_stdin, std::string* error) {
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
    // The stand-in ignores SIGPIPE for its own writes to the tool; the tool
    // gets the default action, as under the host.
    ::signal(SIGPIPE, SIG_DFL);
    int failure[2] = {0, 0};  // step, errno
    const int null_fd = quiet_stdin ? ::open("/dev/null", O_RDONLY) : -1;
    if (::chdir(dir.c_str()) != 0) {
      failure[1] = errno;
    } else if ((stdout_fd != STDOUT_FILENO && ::dup2(stdout_fd, STDOUT_FILENO) < 0) ||
               (null_fd >= 0 && ::dup2(null_fd, STDIN_FILENO) < 0)) {
      failure[0] = 1;
      failure[1] = errno;
    } else {
      ::execv(argv[0], argv.data());
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
    static const char* const kSteps[] = {"cannot enter the workspace ", "dup2 for the tool ",
                                         "cannot start the tool "};
    const std::string& what = failure[0] == 0 ? dir : args[0];
    *error = kSteps[failure[0]] + what + ": " + std::strerror(failure[1]);
    ::waitpid(pid, nullptr, 0);
    return -1;
  }
  return pid;
}

// Lines of --send input waiting for the tool, and the frame being written.
// Writes never block: a tool that does not read leaves them waiting.
class Sender {
 public:
  // The longest line sent: the longest message the tool's library reads.
  static constexpr size_t kMaxLine = kQx_MaxMessageLength;

  // fd: the --send input, owned; name: how messages call it.
  Sender(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  ~Sender() { CloseFd(&fd_); }
  Sender(const Sender&) = delete;
  Sender& operator=(const Sender&) = delete;

  // True while the input may still give lines.
  bool WantsInput() const { return fd_ >= 0 && queue_.empty() && frame_.empty(); }
  int fd() const { return fd_; }
  bool HasFrame() const { return !frame_.empty(); }
  // True once every line of the input is written.
  bool Done() const { return fd_ < 0 && queue_.empty() && frame_.empty(); }
  bool failed() const { return failed_; }
  // True when lines read from the input were never written.
  bool Unsent() const { return !queue_.empty() || !frame_.empty(); }

  // Moves lines on towards out_fd. Returns false when the tool no longer reads
  // (its end of the FIFO is closed): the rest is dropped.
  bool Pump(int out_fd) {
    for (;;) {
      if (!frame_.empty()) {
        const ssize_t n = ::write(out_fd, frame_.data() + written_, frame_.size() - written_);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return true;
        if (n < 0) {
          std::fprintf(stderr, "qxhost: the tool's input is closed (%s): %s not sent\n",
                       std::strerror(errno), line_.c_str());
          frame_.clear();
          queue_.clear();
          CloseFd(&fd_);
          return false;
        }
        written_ += static_cast<size_t>(n);
        if (written_ < frame_.size()) continue;
        std::fputs("> ", stdout);
        std::fwrite(line_.data(), 1, line_.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        frame_.clear();
        continue;
      }
      if (!queue_.empty()) {
        line_ = std::move(queue_.front());
        queue_.pop_front();
        const int64_t length = static_cast<int64_t>(line_.size());
        frame_.assign(reinterpret_cast<const char*>(&length), sizeof length);
        frame_ += line_;
        written_ = 0;
        continue;
      }
      if (!ReadSome()) return true;
    }
  }

 private:
  // Reads what the input holds now, without waiting (poll first: standard
  // input keeps its blocking mode, which it shares with other processes).
  // False when nothing came.
  bool ReadSome() {
    if (fd_ < 0) return false;
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, 0) <= 0) return false;
    char buffer[65536];
    ssize_t n;
    do {
      n = ::read(fd_, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && errno == EAGAIN) return false;
    if (n < 0) {
      std::fprintf(stderr, "qxhost: cannot read %s: %s\n", name_.c_str(), std::strerror(errno));
      failed_ = true;
    }
    if (n <= 0) {
      CloseFd(&fd_);
      std::string rest = lines_.TakeRest();
      if (!rest.empty()) Queue(std::move(rest));
      return !queue_.empty();
    }
    lines_.Append(buffer, static_cast<size_t>(n));
    std::string line;
    while (lines_.Next(&line)) Queue(std::move(line));
    if (lines_.pending() > kMaxLine) {
      // A line without end cannot be sent whole: the input stops here rather
      // than fill memory.
      std::fprintf(stderr, "qxhost: line %zu of %s is longer than %zu bytes: the rest of %s not sent\n",
                   line_number_ + 1, name_.c_str(), kMaxLine, name_.c_str());
      failed_ = true;
      CloseFd(&fd_);
    }
    return true;
  }

  void Queue(std::string line) {
    ++line_number_;
    // An empty frame would be the end-of-link marker, not a command.
    if (line.empty()) return;
    if (line.size() > kMaxLine) {
      std::fprintf(stderr, "qxhost: line %zu of %s is %zu bytes long, more than %zu: not sent\n",
                   line_number_, name_.c_str(), line.size(), kMaxLine);
      failed_ = true;
      return;
    }
    queue_.push_back(std::move(line));
  }

  int fd_;
  const std::string name_;
  LineSplitter lines_;
  size_t line_number_ = 0;
  std::deque<std::string> queue_;
  std::string line_;    // the line whose frame is being written
  std::string frame_;   // its frame; empty when none
  size_t written_ = 0;  // bytes of frame_ written
  bool failed_ = false;
};

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
  bool OpenSendInput(std::string* error);
  void Loop();
  void ReadAvailable();
  void TryOpenOutput();
  void FeedTool();
  void CheckLockFile();
  void Handle(const std::string& text, int depth = 0);
  bool TransferFile(const std::string& text, const KoraCommand& command, int depth);
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
  bool closed_ = false;       // the stand-in stopped listening (--close-after or a bad frame)
  bool host_left_ = false;    // closed by --close-after
  bool input_done_ = false;   // the stand-in has closed its end of the tool's input
  std::unique_ptr<Sender> sender_;  // --send input, null without --send
  pid_t pid_ = -1;
  int wait_status_ = 0;
  bool timed_out_ = false;
  bool lock_seen_ = false;
  bool end_before_lock_ = false;

  FrameSplitter frames_;
  LineSplitter lines_;
  Conversation conversation_;
};

bool Session::OpenSendInput(std::string* error) {
  if (options_.send.empty()) return true;
  int fd = -1;
  std::string name;
  if (options_.send == "-") {
    fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    name = "standard input";
  } else {
    // Without blocking: a FIFO whose writer comes later must not hold up the
    // start of the tool.
    fd = ::open(options_.send.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    name = options_.send;
  }
  if (fd < 0) {
    *error = "cannot open --send input " + name + ": " + std::strerror(errno);
    return false;
  }
  sender_ = std::make_unique<Sender>(fd, name);
  return true;
}

bool Session::SetUp(std::vector<std::string>* argv, int* tool_stdout, std::string* error) {
  const std::string program = FindProgram(options_.tool, error);
  if (program.empty() || !OpenSendInput(error)) return false;
  argv->push_back(program);
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
    // Standard input read by --send is the stand-in's, not the tool's.
    pid_ = StartTool(argv, workspace_, tool_stdout, options_.send == "-", &error);
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
    std::vector<pollfd> fds;
    if (in_fd_ >= 0 && !eof_) fds.push_back({in_fd_, POLLIN, 0});
    const bool feeding = sender_ != nullptr && out_fd_ >= 0 && conversation_.started();
    if (feeding && sender_->HasFrame()) fds.push_back({out_fd_, POLLOUT, 0});
    if (feeding && sender_->WantsInput()) fds.push_back({sender_->fd(), POLLIN, 0});
    ::poll(fds.data(), fds.size(), kTickMs);
    ReadAvailable();
    if (!options_.std_out && out_fd_ < 0 && !input_done_ && !closed_) TryOpenOutput();
    FeedTool();
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
  if (sender_ != nullptr && sender_->Unsent())
    std::fprintf(stderr, "qxhost: the tool ended before every --send line was sent\n");
  // The tool has ended: what it wrote is all waiting in the pipe.
  ReadAvailable();
  if (closed_) return;
  if (options_.std_out) {
    const std::string rest = lines_.TakeRest();
    if (!rest.empty()) {
      if (BeginsLikeKora(rest)) {
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
        if (BeginsLikeKora(line)) {
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

void Session::FeedTool() {
  if (out_fd_ < 0 || input_done_) return;
  if (sender_ != nullptr) {
    // Commands for the tool follow its announcement.
    if (!conversation_.started()) return;
    if (sender_->Pump(out_fd_) && !sender_->Done()) return;
  }
  // Everything is sent (or the tool stopped reading): the tool now meets the
  // end of its input instead of waiting for commands that never come.
  input_done_ = true;
  CloseFd(&out_fd_);
}

void Session::CheckLockFile() {
  if (::access(lock_path_.c_str(), F_OK) != 0) return;
  lock_seen_ = true;
  // Everything the tool flushed before creating the file is in the pipe now.
  ReadAvailable();
  end_before_lock_ = conversation_.has_end();
}

void Session::Handle(const std::string& text, int depth) {
  KoraCommand command;
  KoraSyntaxError error;
  const bool parsed = ParseKora(text, &command, &error);
  if (parsed && command.name == "SEND_KORA_FILE" && TransferFile(text, command, depth)) return;
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  if (!parsed) {
    std::fprintf(stderr, "qxhost: malformed command, breaks after %zu bytes: %s\n", error.offset,
                 error.reason.c_str());
    conversation_.Fault("malformed command (breaks after " + std::to_string(error.offset) +
                        " bytes: " + error.reason + "): " + text);
  }
  conversation_.Command(text);
  if (options_.close_after >= 0 &&
      conversation_.count() >= static_cast<size_t>(options_.close_after)) {
    host_left_ = true;
    CloseEnds();
  }
}

// The host's part of SEND_KORA_FILE(N:PATH,C). Returns false, with a fault,
// when the arguments are not a path and 0 or 1: the command is then shown
// like any other.
bool Session::TransferFile(const std::string& text, const KoraCommand& command, int depth) {
  const std::vector<KoraArgument>& args = command.arguments;
  if (args.size() != 2 || args[0].kind != KoraArgument::Kind::kString || args[0].text.empty() ||
      args[1].kind != KoraArgument::Kind::kInteger || args[1].integer < 0 ||
      args[1].integer > 1) {
    conversation_.Fault("SEND_KORA_FILE needs a path and 0 or 1: " + text);
    return false;
  }
  conversation_.FileTransfer(text);
  std::string path(args[0].text);
  if (path[0] != '/') path = workspace_ + "/" + path;
  const bool delete_it = args[1].integer == 1;
  // A file that names itself, or files that name each other, would never end.
  constexpr int kMaxDepth = 8;
  if (depth >= kMaxDepth) {
    conversation_.Fault("SEND_KORA_FILE nested more than " + std::to_string(kMaxDepth) +
                        " deep: " + text);
    return true;
  }
  std::string content;
  std::string error;
  if (!ReadRegularFile(path, &content, &error)) {
    conversation_.Fault("SEND_KORA_FILE: cannot read " + path + ": " + error);
    return true;
  }
  // Each line is a command as the tool would have written it on standard
  // output, where the library skips empty lines.
  std::vector<std::string> lines;
  LineSplitter splitter;
  splitter.Append(content.data(), content.size());
  for (std::string line; splitter.Next(&line);)
    if (!line.empty()) lines.push_back(line);
  if (std::string rest = splitter.TakeRest(); !rest.empty()) lines.push_back(rest);
  std::fprintf(stderr, "qxhost: %s: %zu command%s from %s%s\n", text.c_str(), lines.size(),
               lines.size() == 1 ? "" : "s", path.c_str(), delete_it ? ", then deleted" : "");
  if (delete_it && ::unlink(path.c_str()) != 0)
    std::fprintf(stderr, "qxhost: cannot delete %s: %s\n", path.c_str(), std::strerror(errno));
  for (const std::string& line : lines) {
    if (closed_) break;
    Handle(line, depth + 1);
  }
  return true;
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
  if (sender_ != nullptr && sender_->failed()) return kSetupError;
  return status == 0 ? kSuccess : kToolFailed;
}

}  // namespace

int RunSession(const Options& options, const std::string& workspace) {
  // A write to a tool that has closed its input fails with EPIPE instead of
  // ending the stand-in.
  ::signal(SIGPIPE, SIG_IGN);
  Session session(options, workspace);
  return session.Run();
}

}  // namespace qxhost

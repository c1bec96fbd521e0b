// SPDX-License-Identifier: MIT
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
#include "formalism.h"
#include "kora_syntax.h"
#include "model.h"
#include "model_output.h"
#include "printer.h"
#include "quarnel/QXChannel.h"
#include "record.h"
#include "script.h"
#include "sender.h"
#include "tool_process.h"
#include "workspace.h"

namespace qxhost {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTickMs = 20;

class Session {
 public:
  Session(const Options& options, const std::string& workspace)
      : options_(options),
        workspace_(workspace),
        lock_path_(workspace + "/QX_MNGR/QX_exec_finished.lock"),
        frames_(kQx_MaxMessageLength),
        model_(FormalismKinds(WorkspaceFormalism(workspace)), !options.model.empty()) {}

  ~Session() {
    CloseFd(&in_fd_);
    CloseFd(&out_fd_);
    if (!fifo_dir_.empty()) RemoveTree(fifo_dir_);
  }

  int Run();

 private:
  bool SetUp(std::vector<std::string>* argv, int* tool_stdout, std::string* error);
  bool OpenSendInput(std::string* error);
  bool OpenScript(std::string* error);
  void StopForScript();
  void Loop();
  void ReadAvailable();
  void TryOpenOutput();
  void FeedTool();
  void CheckLockFile();
  void Handle(const std::string& text, int depth = 0);
  bool TransferFile(const std::string& text, const KoraCommand& command, int depth);
  void CloseEnds();
  int Verdict();
  // The end of the run as the stand-in's own doing: --close-after, or a
  // script that stopped the tool. The order checks are then off.
  bool ended_by_host() const { return host_left_ || script_stopped_; }
  bool OpenRecord(std::string* error);
  bool WriteModel();
  bool WriteRecord();
  void ReportScript();

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
  std::unique_ptr<Sender> sender_;  // --send or --script input, null without them
  pid_t pid_ = -1;
  int wait_status_ = 0;
  bool timed_out_ = false;
  bool lock_seen_ = false;
  bool end_before_lock_ = false;
  bool script_stopped_ = false;  // the tool was stopped at a script wait or a break

  FrameSplitter frames_;
  LineSplitter lines_;
  Conversation conversation_;
  Printer printer_;
  Model model_;
  std::unique_ptr<ModelFile> model_file_;  // null without --model
  std::unique_ptr<ScriptRun> script_;      // null without --script
  std::unique_ptr<Recorder> recorder_;     // null without --record
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
  sender_ = std::make_unique<Sender>(fd, name, &printer_);
  return true;
}

bool Session::OpenScript(std::string* error) {
  if (options_.script.empty()) return true;
  std::vector<ScriptStep> steps;
  if (!ReadScript(options_.script, !options_.std_out, &steps, error)) return false;
  script_ = std::make_unique<ScriptRun>(options_.script, std::move(steps),
                                        options_.expect_timeout_ms);
  if (!options_.std_out) sender_ = std::make_unique<Sender>(-1, options_.script, &printer_);
  return true;
}

bool Session::SetUp(std::vector<std::string>* argv, int* tool_stdout, std::string* error) {
  bool denied = false;
  const std::string program = FindProgram(options_.tool, &denied);
  if (program.empty()) {
    *error = "cannot start the tool " + options_.tool +
             (denied ? ": Permission denied (found in PATH, not executable)" : ": not found in PATH");
  }
  if (program.empty() || !OpenSendInput(error) || !OpenScript(error)) return false;
  if (!options_.model.empty()) {
    model_file_ = std::make_unique<ModelFile>();
    if (!model_file_->Open(options_.model, options_.labels, error)) return false;
  }
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
  return OpenRecord(error);
}

bool Session::OpenRecord(std::string* error) {
  if (options_.record.empty()) return true;
  recorder_ = std::make_unique<Recorder>();
  std::string run = options_.tool;
  for (const std::string& arg : options_.tool_args) run += " " + arg;
  const std::string heading = "The conversation of " + run + ", recorded by qxhost --record.\n" +
                              "Replay: qxhost --script " + options_.record +
                              (options_.std_out ? " --std-out " : " ") + run;
  if (!recorder_->Open(options_.record, heading, error)) return false;
  printer_.set_recorder(recorder_.get());
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
    pid_ = StartProgram(argv, workspace_, options_.send == "-" ? kNullInput : kInheritInput,
                        tool_stdout, &error);
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
    const auto now = Clock::now();
    const bool script_ends = script_ != nullptr && (script_->broken() || script_->Expired(now));
    if (now >= deadline || script_ends) {
      (now >= deadline ? timed_out_ : script_stopped_) = true;
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &wait_status_, 0) < 0 && errno == EINTR) {
      }
      break;
    }
  }
  if (sender_ != nullptr && sender_->Unsent() && script_ == nullptr)
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
    for (;;) {
      // A script hands out its next line only once the one before is
      // written and the waits between them are met.
      if (script_ != nullptr) {
        if (script_->NextCloses()) {
          script_->Sent();
          break;
        }
        if (const std::string* line = script_->NextSend()) sender_->Push(*line);
      }
      const size_t written = sender_->written();
      if (!sender_->Pump(out_fd_)) break;  // the tool no longer reads
      if (script_ != nullptr && sender_->written() > written) {
        script_->Sent();
        continue;
      }
      if (!sender_->Done() || (script_ != nullptr && !script_->finished())) return;
      break;
    }
  }
  // Everything is sent (or the tool stopped reading): the tool now meets the
  // end of its input instead of waiting for commands that never come.
  input_done_ = true;
  CloseFd(&out_fd_);
  if (recorder_ != nullptr) recorder_->InputClosed();
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
  printer_.Received(text);
  if (parsed) model_.Take(text, command);
  if (script_ != nullptr) script_->Received(text);
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

bool Session::WriteRecord() {
  if (recorder_ == nullptr) return true;
  std::string error;
  if (!recorder_->Write(&error)) {
    std::fprintf(stderr, "qxhost: %s\n", error.c_str());
    return false;
  }
  return true;
}

bool Session::WriteModel() {
  if (model_file_ == nullptr) return true;
  std::string error;
  if (!model_file_->Write(model_, &error)) {
    std::fprintf(stderr, "qxhost: %s\n", error.c_str());
    return false;
  }
  std::fprintf(stderr, "qxhost: model of %zu node%s and %zu edge%s written to %s\n",
               model_.nodes().size(), model_.nodes().size() == 1 ? "" : "s",
               model_.edges().size(), model_.edges().size() == 1 ? "" : "s",
               options_.model.c_str());
  return true;
}

void Session::ReportScript() {
  const bool sending = script_->NextSendPending();
  std::string what;
  if (script_stopped_) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g s", options_.expect_timeout_ms / 1000.0);
    what = sending ? std::string("the tool did not take the command within ") + seconds
                   : std::string("no command matched the pattern within ") + seconds +
                         " (the tool was then killed)";
  } else {
    what = sending ? "the tool ended before the command was sent"
                   : "the tool ended before a command matched the pattern";
  }
  script_->Report(what, printer_.Last(), printer_.received());
}

int Session::Verdict() {
  const bool exited = WIFEXITED(wait_status_) && !timed_out_ && !script_stopped_;
  const int status = exited ? WEXITSTATUS(wait_status_) : -1;
  // A tool that stops at its command line before any exchange has not begun a
  // conversation: that is its own failure, not a protocol fault.
  const bool never_began = exited && status != 0 && conversation_.count() == 0;
  if (!never_began) conversation_.Finish(!ended_by_host());
  if (exited && !ended_by_host()) conversation_.CheckExitStatus(status);
  if (options_.std_out && exited && !ended_by_host() && !never_began) {
    if (!lock_seen_ && ::access(lock_path_.c_str(), F_OK) != 0) {
      conversation_.Fault("no end lock file QX_MNGR/QX_exec_finished.lock");
    } else if (lock_seen_ && !end_before_lock_) {
      conversation_.Fault("the end lock file existed before END_TOOL(n) was on standard output");
    }
  }
  model_.Finish();
  if (options_.strict && model_.faults() > 0) {
    conversation_.Fault(std::to_string(model_.faults()) + " model fault" +
                        (model_.faults() == 1 ? "" : "s") + " with --strict");
  }
  // The model is written however the run ended: what arrived until then.
  const bool model_written = WriteModel();
  const bool record_written = WriteRecord();
  const bool script_differs = script_ != nullptr && (!script_->finished() || script_->broken());
  if (script_differs) ReportScript();

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
  if (WIFSIGNALED(wait_status_) && !script_stopped_) {
    const int sig = WTERMSIG(wait_status_);
    std::fprintf(stderr, "qxhost: tool killed by signal %d (%s)\n", sig, strsignal(sig));
    // A broken pipe after the stand-in hung up on a bad frame is the effect of
    // that fault, not a second one: whether the tool writes again before it
    // ends is a race, and the verdict must not depend on it.
    const bool hung_up_on_fault = closed_ && !host_left_ && !conversation_.faults().empty();
    if (sig == SIGPIPE && hung_up_on_fault) return kProtocolFault;
    return kToolAborted;
  }
  if (exited) std::fprintf(stderr, "qxhost: tool exited with status %d\n", status);
  if (!conversation_.faults().empty()) return kProtocolFault;
  if (script_differs) return kScriptDiffers;
  if ((sender_ != nullptr && sender_->failed()) || !model_written || !record_written)
    return kSetupError;
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

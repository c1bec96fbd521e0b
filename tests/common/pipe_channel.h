// SPDX-License-Identifier: MIT
// A channel over real pipes (or a real socket pair) built by hand, without the
// connection functions, and helpers to play its peer: read and write frames
// with bounded waits.
#ifndef QUARNEL_TESTS_COMMON_PIPE_CHANNEL_H
#define QUARNEL_TESTS_COMMON_PIPE_CHANNEL_H

#include <optional>
#include <string>
#include <string_view>

#include "quarnel/QXChannel.h"

namespace qxtest {

// What the peer does before the library reads.
enum class PeerAction {
  kNothing,  // nothing waits
  kFrame,    // one frame waits
  kMarker,   // the end-of-link marker waits
  kClose,    // the peer has ended its writing side
};

// FIFO type: fdIn and fdOut are the ends of two pipes. Socket type:
// sockfdInOut is one end of a Unix stream socket pair. The requests name the
// channel: `out` for writing, `in` for reading; the peer reads what the
// library writes from peer_read and writes what it reads to peer_write (the
// same descriptor for a socket pair). Descriptors still recorded in the
// parameter record or held by the peer are closed at the end of the scope.
class PipeChannel {
 public:
  explicit PipeChannel(QxChannelType type = kQx_ChannelFIFO);
  ~PipeChannel();
  PipeChannel(const PipeChannel&) = delete;
  PipeChannel& operator=(const PipeChannel&) = delete;

  // The descriptor the library writes to / reads from.
  int& LibraryOut();
  int& LibraryIn();
  // Ends the peer's reading or writing side (for a socket pair, both).
  void ClosePeerRead();
  void ClosePeerWrite();
  // Plays the peer's part; text is the frame's for kFrame. False when the
  // write failed.
  bool Peer(PeerAction action, std::string_view text = {});

  QxChannelParam param{};
  QxChannel channel{};
  QxChannelIOParams out{};
  QxChannelIOParams in{};
  int peer_read = -1;
  int peer_write = -1;
};

// The standard-error line of a trace of the test programs' tool.
std::string TraceLine(const std::string& text);

// A command with one counted string argument: "NAME(<len>:<text>)".
std::string Counted(const std::string& name, const std::string& text);

// The bytes of one frame: the 8-byte native length, then the text.
std::string FrameBytes(std::string_view text);

// Writes every byte; false on failure.
bool WriteAll(int fd, std::string_view bytes);

// Reads one frame from fd, waiting at most timeout_ms for each part. The
// end-of-link marker gives an empty text. nullopt on time-out or end of file.
std::optional<std::string> ReadFrame(int fd, int timeout_ms = 5000);

// Every byte waiting on fd now, without blocking.
std::string ReadAvailable(int fd);

}  // namespace qxtest

#endif

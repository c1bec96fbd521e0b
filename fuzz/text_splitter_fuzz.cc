// SPDX-License-Identifier: MIT
// The splitter of long texts: the input chooses a text response (plain form)
// or a numbered text with a head of some length, and gives the text. The
// commands are written, one per line, to a memory stream that is then parsed.
//
// Oracles: every command fits the 255-byte limit, carries its head and a
// piece whose counted length is right and no longer than the budget; the
// pieces put together are the text without its line feeds; numbered pieces
// count 1, 2, ... with the negated total size in the first and 3 in the last
// (the empty text, of total size 0, is sent in the plain form).
// A head of 235 bytes or more is refused: nothing is sent.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "quarnel/QXCLSend.h"
#include "quarnel/QXEnv.h"

namespace {

constexpr size_t kPieceBase = 235;
// Texts stay short enough that piece numbers and sizes keep every piece
// command within the command limit.
constexpr size_t kMaxText = 99999;

struct Piece {
  long number = 0;
  long kind = 0;  // the second argument of the numbered form
  std::string_view bytes;
};

long ParseLong(std::string_view& s, char end) {
  const size_t stop = s.find(end);
  if (stop == std::string_view::npos || stop == 0) qxfuzz::Fail("a piece argument is missing");
  const std::string digits(s.substr(0, stop));
  char* after = nullptr;
  const long v = std::strtol(digits.c_str(), &after, 10);
  if (*after != '\0') qxfuzz::Fail("a piece argument is not a number");
  s.remove_prefix(stop + 1);
  return v;
}

// Splits the output into commands and checks each one's frame.
std::vector<Piece> ParseCommands(std::string_view out, const std::string& head, bool numbered) {
  std::vector<Piece> pieces;
  const size_t budget = kPieceBase - head.size();
  while (!out.empty()) {
    if (out.compare(0, head.size(), head) != 0) qxfuzz::Fail("a command without its head");
    std::string_view rest = out.substr(head.size());
    Piece piece;
    if (numbered) {
      piece.number = ParseLong(rest, ',');
      piece.kind = ParseLong(rest, ',');
    }
    const long length = ParseLong(rest, ':');
    if (length < 0 || static_cast<size_t>(length) > budget) qxfuzz::Fail("a piece longer than the budget");
    if (rest.size() < static_cast<size_t>(length) + 2 || rest[length] != ')' || rest[length + 1] != '\n') {
      qxfuzz::Fail("a piece whose counted length is wrong");
    }
    piece.bytes = rest.substr(0, static_cast<size_t>(length));
    const size_t commandLength = (rest.data() - out.data()) + static_cast<size_t>(length) + 1;
    if (commandLength > kQx_MaxKoraCommand) qxfuzz::Fail("a command longer than the limit");
    pieces.push_back(piece);
    out.remove_prefix(commandLength + 1);
  }
  return pieces;
}

void CheckNumbering(const std::vector<Piece>& pieces, size_t total) {
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (pieces[i].number != static_cast<long>(i + 1)) qxfuzz::Fail("pieces not numbered in sequence");
    long kind = i + 1 == pieces.size() ? 3 : 2;
    if (i == 0) kind = -static_cast<long>(total);
    if (pieces[i].kind != kind) qxfuzz::Fail("wrong size or kind argument");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const bool numbered = input.ConsumeBool();
  const size_t headArgs = input.ConsumeIntegralInRange<size_t>(0, 240);
  std::string text = input.ConsumeRemainingBytesAsString();
  text = text.substr(0, std::min(std::strlen(text.c_str()), kMaxText));
  const std::string head = numbered ? "CM(" + std::string(headArgs, 'a') + "," : "RT(";

  char* buffer = nullptr;
  size_t length = 0;
  FILE* stream = open_memstream(&buffer, &length);
  if (stream == nullptr) qxfuzz::Fail("open_memstream");
  g_qxStdOut = kQx_True;
  g_qxStandalone = kQx_True;
  QxEnvSetDefaultOutputStream(stream);
  if (numbered) {
    QxClSendMultipleText(head.c_str(), text.c_str());
  } else {
    QxClSendTextResponse(text.c_str());
  }
  QxEnvSetDefaultOutputStream(nullptr);
  std::fclose(stream);
  const std::string out(buffer, length);
  std::free(buffer);

  if (head.size() >= kPieceBase) {
    if (!out.empty()) qxfuzz::Fail("a head without room for a piece was not refused");
    return 0;
  }
  // A numbered text of total size 0 (the empty text) takes the plain form.
  const bool counted = numbered && !text.empty();
  const std::vector<Piece> pieces = ParseCommands(out, head, counted);
  std::string joined;
  for (const Piece& p : pieces) joined += p.bytes;
  std::string expected;
  for (char c : text) {
    if (c != '\n') expected += c;
  }
  if (joined != expected) qxfuzz::Fail("the pieces are not the text");
  size_t lines = 1;
  for (char c : text) lines += c == '\n';
  if (pieces.size() < lines) qxfuzz::Fail("fewer pieces than lines");
  if (counted) CheckNumbering(pieces, text.size());
  return 0;
}

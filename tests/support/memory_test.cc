// SPDX-License-Identifier: MIT
// Memory helpers: zero-filled allocation, release, overlapping copy, handles.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quarnel/QXMemory.h"

namespace {

TEST(Memory, CallocIsZeroFilledAndFreeAcceptsNull) {
  auto* block = static_cast<unsigned char*>(QxCalloc(64));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(block[i], 0) << i;
  QxFree(block);
  QxFree(nullptr);
  void* empty = QxCalloc(0);
  EXPECT_NE(empty, nullptr);  // null means exhaustion only
  QxFree(empty);
}

struct CopyCase {
  const char* name;
  size_t dest;
  size_t source;
  size_t length;
  const char* expected;
};

// Each case copies within the buffer "0123456789" as through a temporary.
const CopyCase kCopies[] = {
    {"forward_overlap", 2, 0, 5, "0101234789"},
    {"backward_overlap", 0, 2, 5, "2345656789"},
    {"disjoint", 6, 0, 3, "0123450129"},
    {"same_place", 3, 3, 4, "0123456789"},
    {"nothing", 0, 5, 0, "0123456789"},
};

class MemoryCopy : public ::testing::TestWithParam<CopyCase> {};

TEST_P(MemoryCopy, BothNamesCopyAsThroughATemporary) {
  const CopyCase& c = GetParam();
  for (auto copy : {TextTCpy, QxTextTCpy}) {
    char buf[] = "0123456789";
    copy(buf + c.dest, c.length, buf + c.source);
    EXPECT_STREQ(buf, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, MemoryCopy, ::testing::ValuesIn(kCopies),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Handle, NewHandleGivesAZeroedBlockThroughOneDereference) {
  Handle h = NewHandle(16);
  ASSERT_NE(h, nullptr);
  auto* record = reinterpret_cast<XHandle*>(h);
  EXPECT_EQ(record->rec, kQx_HandleValid);
  EXPECT_EQ(record->byteCount, 16);
  EXPECT_EQ(*h, record->data);
  for (int i = 0; i < 16; ++i) EXPECT_EQ((*h)[i], 0) << i;
  std::memset(*h, 0x5a, 16);  // the whole block is usable
  DisposeHandle(h);
  EXPECT_EQ(NewHandle(-1), nullptr);
}

// A record that NewHandle did not make, on the heap: freeing it would succeed,
// so only the validity check can stop the call.
void DisposeForgedRecord() {
  auto* forged = static_cast<XHandle*>(std::calloc(1, sizeof(XHandle)));
  DisposeHandle(&forged->data);
}

void DisposeCorruptedHandle() {
  Handle h = NewHandle(4);
  reinterpret_cast<XHandle*>(h)->rec = 1;
  DisposeHandle(h);
}

// The end is the library's own abort, without a message: not a fault of the
// memory (a segmentation fault, the C library's report of an invalid free).
TEST(Handle, DisposingAnInvalidHandleAborts) {
  struct Case {
    const char* what;
    void (*dispose)();
  } const cases[] = {
      {"null handle", [] { DisposeHandle(nullptr); }},
      {"forged record", DisposeForgedRecord},
      {"disposed or corrupted record", DisposeCorruptedHandle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EXIT(c.dispose(), ::testing::KilledBySignal(SIGABRT), "^$");
  }
}

}  // namespace

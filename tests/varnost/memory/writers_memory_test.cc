// SPDX-License-Identifier: MIT
// Memory that runs out while an output file is written fails the writing as
// a write error does: the writer's message, a failed result, and the earlier
// file whole, with no temporary file left (or, for a block the writing can
// do without, the file written whole). The limit (counted_memory.h)
// refuses every block, whatever its size, and is stepped so that each block
// the writing takes, the output file's own set-up included, is in turn the
// first one that no longer fits.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TypePN.h"
#include "common/previous_output.h"
#include "common/qxtest.h"
#include "counted_memory.h"
#include "net_testing.h"

namespace {

const std::string kGolden = std::string(VARNOST_DATA_DIR) + "/golden/";

class WritersUnderALimit : public vtest::NetTest {};

TEST_F(WritersUnderALimit, FailAsOnAWriteErrorAndKeepThePreviousFile) {
  const std::string path = dir_.File("refs.mat");
  qxtest::WriteFile(path, qxtest::ReadFile(kGolden + "refs.mat"));
  qxtest::WriteFile(path + ".ref", qxtest::ReadFile(kGolden + "refs.mat.ref"));
  const struct {
    const char* suffix;
    int (*write)(const char*);
    std::string said;     // on standard output, written or not
    std::string failure;  // then, when the writing fails
  } writers[] = {
      {".ll_net", SauvegardePepStatut, "", "erreur lors de la creation du fichier pep\n"},
      {".net", SauvegardeProdStatut, "Sauvegarde au format Prod dans le fichier " + path + ".net\n",
       "erreur lors de la creation du fichier Prod\n"},
  };
  for (const auto& writer : writers) {
    SCOPED_TRACE(writer.suffix);
    const std::string output = path + writer.suffix;
    // Reads the net, puts the previous output in place and writes the file
    // with the bytes in use limited to limit; prints the marks of its blocks
    // on standard error. Status 0 when written, 1 when the writer failed, 3
    // when an exception left it.
    const auto writeUnder = [&](int64_t limit) {
      return qxtest::RunInChild(
          [&] {
            vtest::ResetNet();
            if (vtest::ReadNet(path).status != 0) return 2;
            qxtest::WriteFile(output, qxtest::PreviousOutput());
            memtest::StartCounting(limit, 1);
            int written = 0;
            try {
              written = writer.write(NomModele);
            } catch (...) {
              memtest::StopCounting();
              return 3;
            }
            memtest::StopCounting();
            for (const int64_t mark : memtest::Marks()) {
              std::fprintf(stderr, "%lld ", static_cast<long long>(mark));
            }
            return written == 0 ? 0 : 1;
          },
          30000);
    };

    const qxtest::ChildResult free = writeUnder(INT64_MAX);
    ASSERT_TRUE(free.exited && free.status == 0) << "status " << free.status << "\n" << free.err;
    EXPECT_EQ(free.out, writer.said);
    ASSERT_TRUE(vtest::SameText(qxtest::ReadFile(output),
                                qxtest::ReadFile(kGolden + "refs.mat" + writer.suffix)));
    std::vector<int64_t> limits;
    const char* text = free.err.c_str();
    for (char* end = nullptr;; text = end) {
      const long long mark = std::strtoll(text, &end, 10);
      if (end == text) break;
      limits.push_back(mark - 1);
    }
    ASSERT_GT(limits.size(), 2u) << "the writer took too few blocks to test";
    size_t failed = 0;
    for (const int64_t limit : limits) {
      SCOPED_TRACE("limit " + std::to_string(limit));
      const qxtest::ChildResult run = writeUnder(limit);
      ASSERT_TRUE(run.exited) << "signal " << run.signal << "\n" << run.err;
      ASSERT_TRUE(run.status == 0 || run.status == 1) << "status " << run.status;
      if (run.status == 0) {
        // A block the writing could do without: the file is written whole.
        EXPECT_EQ(run.out, writer.said);
        EXPECT_TRUE(vtest::SameText(qxtest::ReadFile(output),
                                    qxtest::ReadFile(kGolden + "refs.mat" + writer.suffix)));
      } else {
        ++failed;
        EXPECT_EQ(run.out, writer.said + writer.failure);
        EXPECT_TRUE(qxtest::HoldsPreviousOutput(output));
      }
      EXPECT_EQ(qxtest::ListDir(dir_.path()),
                (std::vector<std::string>{"refs.mat", "refs.mat" + std::string(writer.suffix),
                                          "refs.mat.ref"}));
      unlink(output.c_str());
    }
    EXPECT_GT(failed, limits.size() / 2) << "the limits hardly reached the writer";
  }
}

}  // namespace

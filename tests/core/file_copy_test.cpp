// The whole-file copy behind backups and restores: a copy that does not finish
// leaves the destination as it was and no temporary file beside it.
#include "platform/file_copy.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/error.h"
#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;

TEST(WholeFileCopy, ACancelledCopyOrOneWhoseSourceShrinksLeavesTheOldFileAndNoTemporary) {
  test::TempDir tmp;
  for (const int way : {0, 1, 2}) {  // cancelled before the first chunk or after it, or the source shrinks
    sample::WriteFile(tmp / "src", std::vector<uint8_t>(20 * 1024 * 1024, 7));
    sample::WriteFile(tmp / "dst", {1, 2, 3});
    EXPECT_THROW(CopyWholeFile(tmp / "src", tmp / "dst",
                               [&](uint64_t copied, uint64_t) {
                                 if (copied > 0 && way == 2) fs::resize_file(tmp / "src", 100);
                                 return way == 2 || (way == 1 && copied == 0);
                               }),
                 QuorlinError);
    EXPECT_EQ(ReadBytes(tmp / "dst"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(test::Listing(tmp.str()), (std::set<std::string>{"dst", "src"}));
  }
}

}  // namespace
}  // namespace quorlin

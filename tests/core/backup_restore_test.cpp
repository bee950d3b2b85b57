// Restore to Original and the whole-file copy behind backups and restores.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "platform/error.h"
#include "platform/file_copy.h"
#include "support/game_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;

class RestoreTest : public test::GameTest {
 protected:
  void SetUp() override {
    MakeGame(test::SmallGame({12}));
    ASSERT_EQ(Start(), Outcome::Done);
    originalTextures = ReadBytes(Textures());
    originalProps = ReadBytes(Props());
    LoadPicture(sample::SamplePicture());
    skinl_Click(state, shell, 12);
    ASSERT_EQ(mnueditInsert_Click(state, shell), Outcome::Done);
    ASSERT_NE(ReadBytes(Textures()), originalTextures);
    shell = test::RecordingShell{};
  }
  Outcome Restore(MessageAnswer answer) {
    shell.answers.push_back(answer);
    return mnueditRestore_Click(state, shell);
  }
  std::vector<uint8_t> originalTextures;
  std::vector<uint8_t> originalProps;
};

TEST_F(RestoreTest, AsksFirstAndNoChangesNothing) {
  const auto textures = ReadBytes(Textures());
  shell.SetStatus("before", true);
  EXPECT_EQ(Restore(MessageAnswer::No), Outcome::Refused);
  ASSERT_EQ(shell.messages.size(), 1u);
  EXPECT_EQ(shell.messages[0].text, "Restoring may require you to rerun the Zandel!\nDo you wish to continue?");
  EXPECT_EQ(shell.messages[0].title, "Continue?");
  EXPECT_EQ(shell.messages[0].icon, MessageIcon::Information);
  EXPECT_EQ(shell.messages[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(shell.status, "before");
  EXPECT_EQ(ReadBytes(Textures()), textures);
}

TEST_F(RestoreTest, BothBackupsRestoreBothArchivesAndRemain) {
  EXPECT_EQ(Restore(MessageAnswer::Yes), Outcome::Done);
  EXPECT_EQ(shell.StatusTexts(), (std::vector<std::string>{"Restoring resource\\textures.mw4 from backup",
                                                           "Restoring resource\\props.mw4 from backup", "Done."}));
  EXPECT_EQ(shell.messages.size(), 1u);
  EXPECT_EQ(ReadBytes(Textures()), originalTextures);
  EXPECT_EQ(ReadBytes(Props()), originalProps);
  EXPECT_EQ(ReadBytes(Textures() + "b"), originalTextures);
  EXPECT_EQ(ReadBytes(Props() + "b"), originalProps);
  // Restore leaves the index alone, and can be repeated.
  EXPECT_EQ(Restore(MessageAnswer::Yes), Outcome::Done);
}

TEST_F(RestoreTest, AMissingBackupIsReportedAndTheOtherArchiveStillRestored) {
  fs::remove(Props() + "b");
  const auto props = ReadBytes(Props());
  EXPECT_EQ(Restore(MessageAnswer::Yes), Outcome::Refused);
  EXPECT_EQ(shell.MessageTexts().back(), "Backup props file doesn't exists!");
  EXPECT_EQ(shell.messages.back().icon, MessageIcon::Critical);
  EXPECT_EQ(shell.StatusTexts(), (std::vector<std::string>{"Restoring resource\\textures.mw4 from backup", "Done."}));
  EXPECT_EQ(ReadBytes(Textures()), originalTextures);
  EXPECT_EQ(ReadBytes(Props()), props);

  fs::remove(Textures() + "b");
  shell = test::RecordingShell{};
  EXPECT_EQ(Restore(MessageAnswer::Yes), Outcome::Refused);
  EXPECT_EQ(shell.MessageTexts(),
            (std::vector<std::string>{"Restoring may require you to rerun the Zandel!\nDo you wish to continue?",
                                      "Backup texture file doesn't exist!", "Backup props file doesn't exists!"}));
  EXPECT_EQ(shell.StatusTexts(), std::vector<std::string>{"Done."});
}

TEST_F(RestoreTest, ARestoredLobbyArchiveIsWritableEvenFromAReadOnlyBackup) {
  ASSERT_EQ(::chmod((Props() + "b").c_str(), 0444), 0);
  ASSERT_EQ(::chmod(Textures().c_str(), 0444), 0);
  EXPECT_EQ(Restore(MessageAnswer::Yes), Outcome::Done);
  struct stat st {};
  ASSERT_EQ(::stat(Props().c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IWUSR);
  EXPECT_TRUE(st.st_mode & S_IRUSR);
  EXPECT_EQ(ReadBytes(Props()), originalProps);
}

TEST_F(RestoreTest, AFailedCopyIsReportedAndLeavesTheArchiveWhole) {
  const auto textures = ReadBytes(Textures());
  {
    test::Immutable lock(dir / "resource");
    if (!lock.ok()) GTEST_SKIP() << "the file system cannot make a folder read-only for root";
    EXPECT_EQ(Restore(MessageAnswer::Yes), Outcome::Refused);
  }
  EXPECT_EQ(shell.messages.at(1).text.rfind("Could not restore resource\\textures.mw4:\n", 0), 0u);
  EXPECT_EQ(shell.StatusTexts().back(), "Done.");
  EXPECT_EQ(ReadBytes(Textures()), textures);
}

class CopyTest : public ::testing::Test {
 protected:
  test::TempDir tmp;
};

TEST_F(CopyTest, CopiesWholeFilesAndReportsProgress) {
  std::vector<uint8_t> big(20 * 1024 * 1024 + 17);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31 + (i >> 13));
  sample::WriteFile(tmp / "src", big);
  sample::WriteFile(tmp / "dst", std::vector<uint8_t>(100, 1));
  std::vector<uint64_t> seen;
  CopyWholeFile(tmp / "src", tmp / "dst", [&](uint64_t copied, uint64_t total) {
    EXPECT_EQ(total, big.size());
    seen.push_back(copied);
    return true;
  });
  EXPECT_EQ(ReadBytes(tmp / "dst"), big);
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front(), 0u);
  EXPECT_EQ(seen.back(), big.size());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST_F(CopyTest, AFailureNeverTruncatesTheExistingDestinationOrLeavesATemporaryFile) {
  sample::WriteFile(tmp / "src", std::vector<uint8_t>(3 * 1024 * 1024, 7));
  const std::vector<uint8_t> good(5000, 42);
  sample::WriteFile(tmp / "dst", good);

  // Cancelled half way.
  EXPECT_THROW(CopyWholeFile(tmp / "src", tmp / "dst", [](uint64_t copied, uint64_t) { return copied == 0; }),
               QuorlinError);
  // Cut short by a file size limit.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 1024 * 1024;
  ::setrlimit(RLIMIT_FSIZE, &small);
  bool threw = false;
  int number = 0;
  try {
    CopyWholeFile(tmp / "src", tmp / "dst");
  } catch (const QuorlinError& e) {
    threw = true;
    number = e.number();
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_TRUE(threw);
  EXPECT_EQ(number, kErrDiskFull);
  // A source that is missing.
  EXPECT_THROW(CopyWholeFile(tmp / "none", tmp / "dst"), QuorlinError);

  EXPECT_EQ(ReadBytes(tmp / "dst"), good);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(tmp.path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"dst", "src"}));
}

}  // namespace
}  // namespace quorlin

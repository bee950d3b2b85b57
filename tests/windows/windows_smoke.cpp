// Runs on Windows (or under Wine): writes a small game into a temporary folder,
// registers it under the game's key in the 32-bit registry view, then runs
// start-up, Insert Skin and Restore to Original through the core exactly as the
// window does, and checks the archives byte for byte. Prints "N passed, M failed".
#include <windows.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "app/commands.h"
#include "image/targa.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "samplegame/sample_game.h"
#include "support/recording_shell.h"

namespace fs = std::filesystem;
using namespace quorlin;

namespace {

int passed = 0;
int failed = 0;

void Check(bool ok, const std::string& what) {
  (ok ? passed : failed)++;
  std::cout << (ok ? "ok   " : "FAIL ") << what << '\n';
}

bool SetGameKey(const std::string& exePath, const std::string& cdPath) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kGameRegistryKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD number = 42;
  const bool ok = RegSetValueExA(key, "EXE Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(exePath.c_str()),
                                 static_cast<DWORD>(exePath.size() + 1)) == ERROR_SUCCESS &&
                  RegSetValueExA(key, "CDPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(cdPath.c_str()),
                                 static_cast<DWORD>(cdPath.size() + 1)) == ERROR_SUCCESS &&
                  RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number) ==
                      ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

void DeleteGameKey() { RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kGameRegistryKey, KEY_WOW64_32KEY, 0); }

std::vector<uint8_t> Entry(const std::string& archive, const std::string& name) {
  const auto bytes = sample::ReadFile(archive);
  const auto dir = ParseArchiveDirectory(bytes);
  const long p = dir.Find(name);
  if (p < 0) return {};
  const DirEntry& e = dir.Directory[static_cast<size_t>(p)];
  const auto start = static_cast<std::ptrdiff_t>(ArchiveDirectory::DataPosition(dir.Header, e));
  return {bytes.begin() + start, bytes.begin() + start + e.DataLength};
}

}  // namespace

int main() {
  const fs::path root = fs::temp_directory_path() / "quorlin-windows-smoke";
  std::error_code ec;
  fs::remove_all(root, ec);
  sample::GameOptions options;
  options.fillerEntries = 30;
  options.preparedSlots = {9, 12};
  sample::WriteSampleGame((root / "game").string(), options);
  const std::string game = (root / "game").string() + "\\";
  const std::string textures = (root / "game" / "resource" / "textures.mw4").string();
  const std::string props = (root / "game" / "resource" / "props.mw4").string();
  const auto texturesBefore = sample::ReadFile(textures);
  const auto propsBefore = sample::ReadFile(props);

  Check(SetGameKey(game, "D:\\"), "the game's key written in the 32-bit view");
  {
    auto key = OpenGameKey();
    Check(key != nullptr, "OpenGameKey finds the key");
    std::string value;
    const bool read = key && ReadRegistryValue(*key, "EXE Path", value) == 0;
    Check(read && value == game, "EXE Path reads back as " + value);
    Check(key && ReadRegistryValue(*key, "Number", value) == 0 && value == "42", "a REG_DWORD reads as decimal");
    Check(key && ReadRegistryValue(*key, "Missing", value) == ERROR_FILE_NOT_FOUND, "a missing value gives its code");
  }

  ProgramState state;
  test::RecordingShell shell;
  Check(Form_Load(state, shell) == Outcome::Done, "start-up finds the game through the registry");
  Check(state.Game.MechPathSep.empty(), "a trailing backslash means no separator");
  Check(shell.MessageTexts() ==
            std::vector<std::string>{"An index of the skins must be created to be patch independent."},
        "start-up builds the index once");
  Check(fs::file_size(root / "game" / "resource" / "textures.inx") == 444, "textures.inx is 444 bytes");

  const ImageBuffer picture = sample::SamplePicture();
  sample::WriteFile((root / "skin.tga").string(), EncodeTGA(picture));
  Check(OpenPicture(state, shell, (root / "skin.tga").string(), {}) == Outcome::Done, "a Targa picture loads");
  skinl_Click(state, shell, 12);
  Check(mnueditInsert_Click(state, shell) == Outcome::Done, "Insert Skin ends with Done.");
  Check(Entry(textures, ExpectedTextureName(12, 0)) == EncodeTGA(picture), "level 0 holds the picture");
  Check(sample::ReadFile(textures).size() == texturesBefore.size(), "the archive keeps its length");
  Check(sample::ReadFile(textures + "b") == texturesBefore, "textures.mw4b is the archive before the insert");
  Check(sample::ReadFile(props + "b") == propsBefore, "props.mw4b is the archive before the insert");

  // A hidden backup counts as missing.
  SetFileAttributesA((textures + "b").c_str(), FILE_ATTRIBUTE_HIDDEN);
  Check(!FileExists(state.Game.GamePath("resource\\textures.mw4b"), 0), "a hidden file counts as missing");
  SetFileAttributesA((textures + "b").c_str(), FILE_ATTRIBUTE_NORMAL);

  SetFileAttributesA((props + "b").c_str(), FILE_ATTRIBUTE_READONLY);
  shell.answers.push_back(MessageAnswer::Yes);
  Check(mnueditRestore_Click(state, shell) == Outcome::Done, "Restore to Original ends with Done.");
  Check(sample::ReadFile(textures) == texturesBefore, "textures.mw4 is restored");
  Check(sample::ReadFile(props) == propsBefore, "props.mw4 is restored");
  Check((GetFileAttributesA(props.c_str()) & FILE_ATTRIBUTE_READONLY) == 0, "the restored props.mw4 is writable");
  SetFileAttributesA((props + "b").c_str(), FILE_ATTRIBUTE_NORMAL);

  DeleteGameKey();
  fs::remove_all(root, ec);
  std::cout << passed << " passed, " << failed << " failed\n";
  return failed == 0 ? 0 : 1;
}

#pragma once

#include <cstdint>
#include <string>

// Every text the user sees from the commands and the windows, each written once:
// messages, titles, status and step texts. The wording (and spelling) of the
// system's own texts is kept exactly as players know it.
namespace quorlin::text {

// The program's title: the caption of every message box without one of its own.
inline constexpr const char* kProgramTitle = "Quorlin";

// ---- Start-up and the skin index ----
inline constexpr const char* kProblemGettingPath = "Problem getting Mechwarrior Path!";
inline constexpr const char* kPathInvalid = "Mechwarrior path is invalid!";
inline constexpr const char* kIndexMissing = "An index of the skins must be created to be patch independent.";
inline constexpr const char* kIndexChanged =
    "A change has been detected in your files, the index must be recreated now.";
inline constexpr const char* kErrorGettingSkins = "error getting skins";

// ---- Status line ----
inline constexpr const char* kReady = "Ready to load texture.";
inline constexpr const char* kIndexing = "Indexing Skins";
inline constexpr const char* kTextureLoaded = "Texture Loaded ready to insert";
inline constexpr const char* kDone = "Done.";
inline std::string BackingUp(const std::string& archive) { return "Backing up " + archive; }
inline std::string QuickPatching(const std::string& archive) { return "Quick Patching " + archive; }
inline std::string Restoring(const std::string& archive) { return "Restoring " + archive + " from backup"; }

// ---- File > Open ----
inline constexpr const char* kOpenTitle = "Open 512x512 Skin";
inline constexpr const char* kUnsupportedFormat = "Unsupported format!";
inline constexpr const char* kTargaNot24 = "Targa file must be 24-bit Uncompressed!";
inline constexpr const char* kNot512 = "Skin file isn't 512x512!";
inline std::string ScaleDownQuestion(int64_t width, int64_t height) {
  return "The picture is " + std::to_string(width) + "x" + std::to_string(height) + ". Scale it down to 512x512?";
}
inline std::string TooLargeToScale(int64_t width, int64_t height) {
  return "The picture is " + std::to_string(width) + "x" + std::to_string(height) +
         ". Quorlin scales square pictures of up to 4096x4096 down to 512x512.";
}
// Dropping onto the window anything but one picture file.
inline constexpr const char* kDropOnePicture = "Drop one picture file onto the window to open it.";

// ---- Insert Skin ----
inline constexpr const char* kLoadImageFirst = "Load a 512x512 image to use for a skin";
inline constexpr const char* kZandelRequired = "The Zandel is required to use the Quorlin tool!";
inline constexpr const char* kTexturesNotPatched = "textures.mw4 not patched!";
inline constexpr const char* kPropsNotPatched = "props.mw4 not patched!";

// The steps Insert Skin goes through; only the failure report shows them.
namespace step {
inline constexpr const char* kBeforeCheckPatch = "Before Check Patch";
inline std::string BeforeOpen(const std::string& path) { return "Before Open " + path; }
inline std::string AfterOpen(const std::string& path) { return "After Open " + path; }
inline std::string GettingSkin(int slot, int level) {
  return "Getting Skin " + std::to_string(slot) + " Length of File " + std::to_string(level);
}
inline std::string SaveTGA(int level) { return "SaveTGA " + std::to_string(level); }
inline constexpr const char* kCheckingPatchedProps = "Checking Patched Props";
inline constexpr const char* kClearingDirectory = "Clearing Directory";
inline std::string OpenFile(const std::string& path) { return "Open File " + path; }
inline std::string PropsLength(int slot) { return "props Get length of buffer " + std::to_string(slot); }
inline std::string PropsSaveTGA(int slot) { return "props SaveTGA " + std::to_string(slot); }
}  // namespace step

// ---- Backup and Restore to Original ----
inline constexpr const char* kMechPathInvalid = "MechPath path is invalid!";
inline constexpr const char* kRestoreQuestion =
    "Restoring may require you to rerun the Zandel!\nDo you wish to continue?";
inline constexpr const char* kRestoreTitle = "Continue?";
inline constexpr const char* kNoTexturesBackup = "Backup texture file doesn't exist!";
inline constexpr const char* kNoPropsBackup = "Backup props file doesn't exists!";

// The failure report: "Error " + number + line feed + description (+ line feed +
// the step Insert Skin had reached).
inline std::string ErrorReport(int number, const std::string& description) {
  return "Error " + std::to_string(number) + "\n" + description;
}

// ---- A game folder this user cannot write ----
inline std::string CannotWrite(const std::string& folder, const std::string& reason) {
  return "Quorlin cannot change the game's files in\n" + folder + "\nbecause " + reason + ".";
}
inline constexpr const char* kGiveWritePermission =
    "Give this user permission to write there, or run Quorlin as a user who has it.";
inline constexpr const char* kProtectedFolder =
    "Windows keeps folders such as Program Files from being changed by ordinary users.";
inline constexpr const char* kRestartAsAdministrator =
    "Quorlin can start again as administrator to change the game's files there.\n\nRestart Quorlin as "
    "administrator?";
inline constexpr const char* kAdministratorPrompt =
    "Run quorlin-cli from an administrator prompt to change the game's files there.";

// The game's files that are the copies Windows keeps for this user (native paths).
inline std::string VirtualizedCopies(const std::string& paths) {
  return "Some of the game's files have copies that Windows keeps for this user in its VirtualStore, and the game "
         "reads those copies. Quorlin reads and writes them too, not the files in the game's folder:\n" +
         paths;
}

// ---- What the system's own additions say ----
inline constexpr const char* kBusy =
    "Another copy of Quorlin is writing to the game's files right now. Nothing has been changed; try again when it "
    "has finished.";
inline std::string BackupFailed(const std::string& archive, const std::string& why) {
  return "Could not back up " + archive + ":\n" + why + "\nNothing has been written to " + archive + ".";
}
inline std::string RestoreFailed(const std::string& archive, const std::string& why) {
  return "Could not restore " + archive + ":\n" + why + "\nThe archive was left as it was.";
}
inline std::string RestoreNotStarted(const std::string& why) {
  return "Could not restore:\n" + why + "\nThe archives were left as they were.";
}
inline constexpr const char* kPartialJournalDiscarded =
    "A journal that an interrupted run had not finished writing was discarded; the archives had not been touched.";
inline constexpr const char* kDamagedJournalDiscarded =
    "A damaged journal (resource\\quorlin.journal) was found and discarded.";
inline std::string JournalNoLongerFits(const std::string& what, const std::string& archive) {
  return "The journal of an interrupted " + what + " no longer fits " + archive +
         ", which has changed since; it was discarded and nothing was written.";
}
inline std::string JournalFinished(const std::string& what) {
  return "The interrupted " + what + " was finished from its journal.";
}
inline std::string JournalNotFinished(const std::string& what, const std::string& why) {
  return "Could not finish the interrupted " + what + ":\n" + why + "\nIt is tried again when Quorlin next starts.";
}

// ---- The game folder chosen in the window ----
inline constexpr const char* kChooseGameFolder = "Do you want to choose the game's folder yourself?";
inline constexpr const char* kGameFolderTitle = "Choose the Mechwarrior Vengeance folder";
// What a chosen folder lacks: "resource\textures.mw4", "resource\props.mw4" or both.
inline std::string NotAGameFolder(const std::string& folder, bool noTextures, bool noProps) {
  const std::string lacks = noTextures && noProps ? "neither resource\\textures.mw4 nor resource\\props.mw4"
                            : noTextures         ? "no resource\\textures.mw4"
                                                 : "no resource\\props.mw4";
  return "The folder\n" + folder + "\nis not the game's folder: it has " + lacks + ".";
}

// ---- The settings file ----
inline std::string SettingsPassedOver(const std::string& path, const std::string& why) {
  return "The settings file " + path + " could not be read (" + why + "); it was passed over.";
}
inline std::string SettingsNotSaved(const std::string& path, const std::string& why) {
  return "The settings could not be saved in " + path + " (" + why + "); they last until Quorlin ends.";
}

// ---- The slot history ----
inline std::string UndoingSlot(int slot) { return "Undoing the last change to slot " + std::to_string(slot); }
inline std::string NothingToUndo(int slot) {
  return "No earlier version of slot " + std::to_string(slot) + " has been kept: there is nothing to undo.";
}
// why: "is cut short", "is damaged (its checksum does not match)", ...
inline std::string VersionUnusable(const std::string& path, const std::string& why) {
  return "The kept version " + path + " " + why + ". Nothing was written.";
}
inline constexpr const char* kVersionCut = "is cut short";
inline constexpr const char* kVersionDamaged = "is damaged (its checksum does not match)";
inline std::string VersionForOtherEntries(int slot, const std::string& archive) {
  return "was made for entries of other lengths than slot " + std::to_string(slot) + "'s in " + archive;
}
inline std::string VersionOfOtherSlot(int slot) { return "does not hold slot " + std::to_string(slot); }

}  // namespace quorlin::text

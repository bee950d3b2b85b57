#include <functional>
#include <new>
#include <optional>
#include <vector>

#include "app/commands.h"
#include "archive/journal.h"
#include "archive/patch.h"
#include "insert/archive_file.h"
#include "platform/error.h"
#include "platform/folder_lock.h"
#include "platform/paths.h"

namespace quorlin {

namespace {

constexpr const char* kZandelRequired = "The Zandel is required to use the Quorlin tool!";

// One entry to overwrite: its directory position, the side of the square image it
// receives, and the step texts of each stage.
struct EntryPlan {
  int16_t position;
  int32_t side;
  std::string lengthStep;  // before the entry is looked up
  std::string bufferStep;  // before the working buffer is made
  std::string copyStep;    // before the picture is copied into it
  std::string resizeStep;  // before resampling; empty for the full-size level
  std::string writeStep;   // before the Targa image is encoded, and again before it is written
};

// One archive of the command: opened once for the command, for reading and writing
// where allowed, and its header and directory read once, by the patch check, for
// the writes too.
struct PatchTarget {
  explicit PatchTarget(const ProgramState& state, const std::string& name)
      : relative(name),
        fullPath(state.Game.GamePath(name)),
        file(state.Archives.Get(state.Game.NativeGamePath(name))),
        dir(file.Directory()) {}
  std::string relative;
  std::string fullPath;  // as the step texts name it
  ArchiveFile& file;
  const ArchiveDirectory& dir;
};

// A level's Targa image made straight from the loaded picture: the header, then
// the picture itself or its resampling to side x side.
std::vector<uint8_t> EncodeLevel(const ImageBuffer& picture, int32_t side, LevelFilter filter) {
  std::vector<uint8_t> bytes(kTgaHeaderSize + PixelBytes(side, side));
  EncodeTgaHeader(side, side, bytes.data());
  if (side == picture.Width && side == picture.Height) {
    if (picture.Pixels.size() < bytes.size() - kTgaHeaderSize)
      throw QuorlinError(kErrSubscriptOutOfRange, "Subscript out of range");
    std::copy(picture.Pixels.begin(),
              picture.Pixels.begin() + static_cast<std::ptrdiff_t>(bytes.size() - kTgaHeaderSize),
              bytes.begin() + kTgaHeaderSize);
  } else if (filter == LevelFilter::Box) {
    BoxResizeInto(picture, side, side, bytes.data() + kTgaHeaderSize);
  } else {
    ResizeInto(picture, side, side, bytes.data() + kTgaHeaderSize);
  }
  return bytes;
}

// Encodes every image of one archive into the journal after checking that each
// entry lies wholly inside the file and has exactly the image's length, so that a
// bad entry stops the command before anything is written.
void PlanWrites(ProgramState& state, LevelFilter filter, PatchTarget& target, uint8_t archive,
                const std::vector<EntryPlan>& plans, Journal& journal, std::vector<std::string>& writeSteps) {
  const uint64_t fileLength = target.file.Length();
  journal.archives.emplace_back(target.relative, fileLength);
  for (const EntryPlan& plan : plans) {
    state.SetStep(plan.lengthStep);
    const DirEntry& entry = target.dir.At(plan.position);
    const uint64_t position = ArchiveDirectory::DataPosition(target.dir.Header, entry);
    if (!EntryInsideFile(target.dir.Header, entry, fileLength)) {
      throw QuorlinError(kErrInputPastEnd, "Input past end of file: entry " + std::string(entry.Name) +
                                               " at position " + std::to_string(plan.position) + " ends at byte " +
                                               std::to_string(position + entry.DataLength) + ", past the end of " +
                                               target.fullPath + " (" + std::to_string(fileLength) + " bytes)");
    }
    state.SetStep(plan.bufferStep);
    state.SetStep(plan.copyStep);
    if (!plan.resizeStep.empty()) state.SetStep(plan.resizeStep);
    state.SetStep(plan.writeStep);
    std::vector<uint8_t> bytes = EncodeLevel(state.LoadedImage, plan.side, filter);
    if (bytes.size() != entry.DataLength) {
      // The directory changed since the patch check: never write a mismatched image.
      throw QuorlinError(kErrBadRecord, "Entry " + std::string(entry.Name) + " of " + target.fullPath + " holds " +
                                            std::to_string(entry.DataLength) + " bytes, not " +
                                            std::to_string(bytes.size()));
    }
    journal.writes.push_back({archive, position, std::move(bytes)});
    writeSteps.push_back(plan.writeStep);
  }
}

std::vector<EntryPlan> TexturePlans(const ProgramState& state) {
  const int slot = state.SelectedSlot;
  const std::string s = std::to_string(slot);
  std::vector<EntryPlan> plans;
  for (int n = 0; n < kLevelCount; ++n) {
    const std::string level = std::to_string(n);
    plans.push_back({state.Index.TexturesSkinIndex.at(static_cast<size_t>(slot))[static_cast<size_t>(n)], 512 >> n,
                     "Getting Skin " + s + " Length of File " + level, "Allocating Buffer for Skin " + s + " /" + level,
                     "Copy Memory " + level, n == 0 ? std::string() : "Resizing " + level, "SaveTGA " + level});
  }
  return plans;
}

std::vector<EntryPlan> PropsPlans(const ProgramState& state) {
  const int slot = state.SelectedSlot;
  const std::string s = std::to_string(slot);
  return {{state.Index.PropsSkinIndex.at(static_cast<size_t>(slot)), kLobbySide, "props Get length of buffer " + s,
           "props Alloc buffer " + s, "props Copymemory " + s, "props Resize Memory " + s, "props SaveTGA " + s}};
}

Outcome NotPatched(Shell& shell, const char* title) {
  shell.SetBusy(false);
  shell.ShowMessage(kZandelRequired, title, MessageIcon::None, MessageButtons::Ok);
  return Outcome::Refused;
}

Outcome PathInvalid(Shell& shell) {
  shell.SetBusy(false);
  shell.ShowMessage("Mechwarrior path is invalid!", kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
  return Outcome::EndProgram;
}

Outcome FailureReport(ProgramState& state, Shell& shell, int number, const std::string& description) {
  shell.SetBusy(false);
  shell.ShowMessage("Error " + std::to_string(number) + "\n" + description + "\n" + state.LastStep, kProgramTitle,
                    MessageIcon::None, MessageButtons::Ok);
  return Outcome::EndProgram;
}

}  // namespace

// Both halves are checked and every image encoded before anything is written; the
// slot's entries are then written under one journal, so that a crash leaves the
// slot wholly old or (once the journal is finished) wholly new. Where the lobby
// half is refused with one of the system's messages, the texture half is still
// written, as it always was, before the message; where its backup fails, nothing
// is written at all.
Outcome mnueditInsert_Click(ProgramState& state, Shell& shell, LevelFilter filter) {
  if (state.LoadedImage.BitsPerPixel == 0) {
    shell.ShowMessage("Load a 512x512 image to use for a skin", kProgramTitle, MessageIcon::None, MessageButtons::Ok);
    return Outcome::Refused;
  }

  // ---- the texture archive ----
  if (!state.Game.Exists(kTexturesArchive)) return PathInvalid(shell);
  FolderLock lock;
  if (!LockGameFolder(state, shell, lock)) return Outcome::Refused;
  if (!state.Game.Exists(std::string(kTexturesArchive) + "b")) {
    shell.SetStatus("Backing up resource\\textures.mw4", true);
    if (!BackupArchive(state, shell, kTexturesArchive)) return Outcome::Refused;
  }
  shell.SetBusy(true);
  Journal journal;
  journal.what = "Insert Skin into slot " + std::to_string(state.SelectedSlot);
  std::vector<std::string> writeSteps;
  std::optional<PatchTarget> textures;
  std::optional<PatchTarget> props;
  // Writes what has been planned, then ends the command with `then`.
  const auto commit = [&](const std::function<Outcome()>& then) {
    std::vector<ArchiveFile*> files = {&textures->file};
    if (props && journal.archives.size() > 1) files.push_back(&props->file);
    CommitJournal(state.Game, journal, files, [&](size_t i) {
      if (i == kLevelCount) state.SetStep("Out of TGA 5");
      state.SetStep(writeSteps[i]);
    });
    if (journal.writes.size() == kLevelCount) state.SetStep("Out of TGA 5");
    return then();
  };
  try {
    state.SetStep("Before Check Patch");
    textures.emplace(state, kTexturesArchive);
    bool prepared = CheckPatch(textures->dir, state.Index, state.SelectedSlot);
    state.SetStep("After Check Patch");
    state.SetStep("Alloc directory");
    state.SetStep("after Alloc directory");
    if (!prepared) return NotPatched(shell, "textures.mw4 not patched!");

    shell.SetStatus("Quick Patching resource\\textures.mw4", false);
    state.SetStep("Before Open " + textures->fullPath);
    textures->file.RequireWritable();
    state.SetStep("After Open " + textures->fullPath);
    PlanWrites(state, filter, *textures, 0, TexturePlans(state), journal, writeSteps);

    // ---- the lobby preview archive ----
    if (!state.Game.Exists(kPropsArchive)) return commit([&] { return PathInvalid(shell); });
    if (!state.Game.Exists(std::string(kPropsArchive) + "b")) {
      shell.SetStatus("Backing up resource\\props.mw4", true);
      // A failed backup stops the whole command: nothing is written to either archive.
      if (!BackupArchive(state, shell, kPropsArchive)) {
        shell.SetBusy(false);
        return Outcome::Refused;
      }
    }
    shell.SetBusy(true);
    state.SetStep("Checking Patched Props");
    props.emplace(state, kPropsArchive);
    prepared = CheckPatchedProps(props->dir, state.Index, state.SelectedSlot);
    state.SetStep("Clearing Directory");
    if (!prepared) return commit([&] { return NotPatched(shell, "props.mw4 not patched!"); });

    shell.SetStatus("Quick Patching resource\\props.mw4", true);
    state.SetStep("Open File " + props->fullPath);
    props->file.RequireWritable();
    PlanWrites(state, filter, *props, 1, PropsPlans(state), journal, writeSteps);
    return commit([&] {
      shell.SetBusy(false);
      shell.SetStatus("Done.", true);
      return Outcome::Done;
    });
  } catch (const QuorlinError& e) {
    return FailureReport(state, shell, e.number(), e.what());
  } catch (const std::out_of_range&) {
    return FailureReport(state, shell, kErrSubscriptOutOfRange, "Subscript out of range");
  } catch (const std::bad_alloc&) {
    return FailureReport(state, shell, kErrOutOfMemory, "Out of memory");
  }
}

}  // namespace quorlin

#include <functional>
#include <new>
#include <vector>

#include "app/commands.h"
#include "archive/patch.h"
#include "insert/archive_file.h"
#include "platform/error.h"
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
  std::string writeStep;   // before the Targa image is encoded and written
};

struct EncodedEntry {
  uint64_t position;
  std::vector<uint8_t> bytes;
  const EntryPlan* plan;
};

// The in-place write of one archive. Every image is encoded and every entry is
// checked to lie inside the file before the first byte is written, so a bad
// entry leaves the archive untouched. Header, directory and length never change.
void PatchArchive(ProgramState& state, LevelFilter filter, const std::string& relative, const std::string& openStep,
                  const std::string& openedStep, const std::function<void(int)>& recordSteps,
                  const std::vector<EntryPlan>& plans, const std::string& closeStep) {
  const std::string fullPath = state.Game.GamePath(relative);
  state.SetStep(openStep);
  ArchiveFile archive(NativePath(fullPath), fullPath);
  if (!openedStep.empty()) state.SetStep(openedStep);
  const ArchiveDirectory dir = archive.ReadDirectory(recordSteps);
  const uint64_t fileLength = archive.Length();

  std::vector<EncodedEntry> encoded;
  for (const EntryPlan& plan : plans) {
    state.SetStep(plan.lengthStep);
    const DirEntry& entry = dir.At(plan.position);
    const uint64_t position = ArchiveDirectory::DataPosition(dir.Header, entry);
    if (!EntryInsideFile(dir.Header, entry, fileLength)) {
      throw QuorlinError(kErrInputPastEnd, "Input past end of file: entry " + entry.Name + " at position " +
                                               std::to_string(plan.position) + " ends at byte " +
                                               std::to_string(position + entry.DataLength) + ", past the end of " +
                                               fullPath + " (" + std::to_string(fileLength) + " bytes)");
    }
    state.SetStep(plan.bufferStep);
    state.SetStep(plan.copyStep);
    CopyImage(state.LoadedImage, state.WorkImage);
    if (!plan.resizeStep.empty()) {
      state.SetStep(plan.resizeStep);
      if (filter == LevelFilter::Box) {
        BoxResizeImage(state.WorkImage, plan.side, plan.side);
      } else {
        ResizeImage(state.WorkImage, plan.side, plan.side);
      }
    }
    state.SetStep(plan.writeStep);
    std::vector<uint8_t> bytes = EncodeTGA(state.WorkImage);
    if (bytes.size() != entry.DataLength) {
      // The directory changed since the patch check: never write a mismatched image.
      throw QuorlinError(kErrBadRecord, "Entry " + entry.Name + " of " + fullPath + " holds " +
                                            std::to_string(entry.DataLength) + " bytes, not " +
                                            std::to_string(bytes.size()));
    }
    encoded.push_back({position, std::move(bytes), &plan});
  }
  for (const EncodedEntry& e : encoded) {
    state.SetStep(e.plan->writeStep);
    archive.WriteAt(e.position, e.bytes);
  }
  if (!closeStep.empty()) state.SetStep(closeStep);
  archive.Close();
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

Outcome mnueditInsert_Click(ProgramState& state, Shell& shell, LevelFilter filter) {
  if (state.LoadedImage.BitsPerPixel == 0) {
    shell.ShowMessage("Load a 512x512 image to use for a skin", kProgramTitle, MessageIcon::None, MessageButtons::Ok);
    return Outcome::Refused;
  }

  // ---- the texture archive ----
  if (!state.Game.Exists(kTexturesArchive)) return PathInvalid(shell);
  if (!state.Game.Exists(std::string(kTexturesArchive) + "b")) {
    shell.SetStatus("Backing up resource\\textures.mw4", true);
    if (!BackupArchive(state, shell, kTexturesArchive)) return Outcome::Refused;
  }
  shell.SetBusy(true);
  try {
    state.SetStep("Before Check Patch");
    bool prepared = CheckPatch(state);
    state.SetStep("After Check Patch");
    state.SetStep("Alloc directory");
    state.SetStep("after Alloc directory");
    if (!prepared) return NotPatched(shell, "textures.mw4 not patched!");

    shell.SetStatus("Quick Patching resource\\textures.mw4", false);
    const std::string texturesPath = state.Game.GamePath(kTexturesArchive);
    PatchArchive(
        state, filter, kTexturesArchive, "Before Open " + texturesPath, "After Open " + texturesPath,
        [&](int i) {
          state.SetStep("Dynamic Alloc Directory " + std::to_string(i + 1));
          state.SetStep("After Dynamic Alloc Directory " + std::to_string(i + 1));
        },
        TexturePlans(state), "Out of TGA 5");

    // ---- the lobby preview archive ----
    if (!state.Game.Exists(kPropsArchive)) return PathInvalid(shell);
    if (!state.Game.Exists(std::string(kPropsArchive) + "b")) {
      shell.SetStatus("Backing up resource\\props.mw4", true);
      if (!BackupArchive(state, shell, kPropsArchive)) {
        shell.SetBusy(false);
        return Outcome::Refused;
      }
    }
    shell.SetBusy(true);
    state.SetStep("Checking Patched Props");
    prepared = CheckPatchedProps(state);
    state.SetStep("Clearing Directory");
    if (!prepared) return NotPatched(shell, "props.mw4 not patched!");

    shell.SetStatus("Quick Patching resource\\props.mw4", true);
    const std::string propsPath = state.Game.GamePath(kPropsArchive);
    PatchArchive(
        state, filter, kPropsArchive, "Open File " + propsPath, "",
        [&](int i) { state.SetStep("Alloc Directory" + std::to_string(i + 1)); }, PropsPlans(state), "");
    shell.SetBusy(false);
    shell.SetStatus("Done.", true);
    return Outcome::Done;
  } catch (const QuorlinError& e) {
    return FailureReport(state, shell, e.number(), e.what());
  } catch (const std::out_of_range&) {
    return FailureReport(state, shell, kErrSubscriptOutOfRange, "Subscript out of range");
  } catch (const std::bad_alloc&) {
    return FailureReport(state, shell, kErrOutOfMemory, "Out of memory");
  }
}

bool CheckPatch(const ProgramState& state) {
  if (!state.Game.Exists(kTexturesArchive)) return false;
  return TexturesPrepared(ReadArchiveDirectory(state.Game, kTexturesArchive), state.Index, state.SelectedSlot);
}

bool CheckPatchedProps(const ProgramState& state) {
  if (!state.Game.Exists(kPropsArchive)) return false;
  return PropsPrepared(ReadArchiveDirectory(state.Game, kPropsArchive), state.Index, state.SelectedSlot);
}

}  // namespace quorlin

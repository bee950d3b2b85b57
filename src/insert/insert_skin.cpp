#include "insert/insert_skin.h"

#include <functional>
#include <new>
#include <optional>
#include <vector>

#include <ctime>

#include "archive/patch.h"
#include "archive/journal.h"
#include "archive/slot.h"
#include "archive/slot_digests.h"
#include "archive/slot_history.h"
#include "image/targa.h"
#include "base/error.h"
#include "base/texts.h"

namespace quorlin {

namespace {

// One entry to overwrite: its directory position, the side of the square image it
// receives, and the step texts of each stage.
struct EntryPlan {
  int16_t Position;
  int32_t Side;
  std::string LengthStep;  // before the entry is looked up
  std::string WriteStep;   // before the Targa image is made, and again before it is written
};

// One archive of the command: opened once for the command, for reading and writing
// where allowed, and its header and directory read once, by the patch check, for
// the writes too.
struct PatchTarget {
  explicit PatchTarget(const InsertJob& job, const std::string& name)
      : Relative(name),
        FullPath(job.Game.GamePath(name)),
        File(job.Archives.Get(job.Game.NativeGamePath(name))),
        Dir(File.Directory()) {}
  std::string Relative;
  std::string FullPath;  // as the step texts name it
  ArchiveFile& File;
  const ArchiveDirectory& Dir;
};

// A level's Targa image made straight from the loaded picture: the picture itself,
// or the header and its resampling to side x side.
std::vector<uint8_t> EncodeLevel(const ImageBuffer& picture, int32_t side, LevelFilter filter) {
  if (side == picture.Width && side == picture.Height) return SaveTGA(picture);
  std::vector<uint8_t> bytes(kTgaHeaderSize + PixelBytes(side, side));
  EncodeTgaHeader(side, side, bytes.data());
  (filter == LevelFilter::Box ? BoxResizeImage : ResizeImage)(picture, side, side, bytes.data() + kTgaHeaderSize);
  return bytes;
}

// Encodes every image of one archive into the journal after checking that each
// entry lies wholly inside the file and has exactly the image's length, so that a
// bad entry stops the command before anything is written.
void PlanWrites(const InsertJob& job, PatchTarget& target, uint8_t archive, const std::vector<EntryPlan>& plans,
                Journal& journal, std::vector<std::string>& writeSteps) {
  const uint64_t fileLength = target.File.Length();
  journal.Archives.emplace_back(target.Relative, fileLength);
  for (const EntryPlan& plan : plans) {
    job.LastStep = plan.LengthStep;
    const DirEntry& entry = target.Dir.At(plan.Position);
    const uint64_t position = ArchiveDirectory::DataPosition(target.Dir.Header, entry);
    if (!EntryInsideFile(target.Dir.Header, entry, fileLength)) {
      throw QuorlinError(kErrInputPastEnd, "Input past end of file: entry " + std::string(entry.Name) +
                                               " at position " + std::to_string(plan.Position) + " ends at byte " +
                                               std::to_string(position + entry.DataLength) + ", past the end of " +
                                               target.FullPath + " (" + std::to_string(fileLength) + " bytes)");
    }
    job.LastStep = plan.WriteStep;
    std::vector<uint8_t> bytes = EncodeLevel(job.Picture, plan.Side, job.Filter);
    if (bytes.size() != entry.DataLength) {
      // The directory changed since the patch check: never write a mismatched image.
      throw QuorlinError(kErrBadRecord, "Entry " + std::string(entry.Name) + " of " + target.FullPath + " holds " +
                                            std::to_string(entry.DataLength) + " bytes, not " +
                                            std::to_string(bytes.size()));
    }
    journal.Writes.push_back({archive, position, std::move(bytes)});
    writeSteps.push_back(plan.WriteStep);
  }
}

std::vector<EntryPlan> TexturePlans(const InsertJob& job) {
  std::vector<EntryPlan> plans;
  for (int n = 0; n < kLevelCount; ++n) {
    plans.push_back({job.Index.TexturesSkinIndex.at(static_cast<size_t>(job.Slot))[static_cast<size_t>(n)], 512 >> n,
                     text::step::GettingSkin(job.Slot, n), text::step::SaveTGA(n)});
  }
  return plans;
}

std::vector<EntryPlan> PropsPlans(const InsertJob& job) {
  return {{job.Index.PropsSkinIndex.at(static_cast<size_t>(job.Slot)), kLobbySide, text::step::PropsLength(job.Slot),
           text::step::PropsSaveTGA(job.Slot)}};
}

Outcome NotPatched(FrontEnd& ui, const char* title) {
  ui.SetBusy(false);
  ui.ShowMessage(text::kZandelRequired, title, MessageIcon::None, MessageButtons::Ok);
  return Outcome::Refused;
}

Outcome PathInvalid(FrontEnd& ui) {
  ui.SetBusy(false);
  ui.Tell(text::kPathInvalid, MessageIcon::Critical);
  return Outcome::EndProgram;
}

// The identities of the two archives, as the slot state records which files its digests are of.
std::pair<FileIdentity, FileIdentity> Identities(const InsertJob& job, ArchiveFile& textures, ArchiveFile* props) {
  return {textures.Native().Identity(),
          props ? props->Native().Identity() : IdentityOf(job.Game.NativeGamePath(kPropsArchive))};
}

Outcome FailureReport(const InsertJob& job, FrontEnd& ui, int number, const std::string& description) {
  ui.SetBusy(false);
  ui.Tell(text::ErrorReport(number, description) + "\n" + job.LastStep, MessageIcon::None);
  return Outcome::EndProgram;
}

}  // namespace

// Both halves are checked and every image encoded before anything is written; the
// slot's entries are then written under one journal, so that a crash leaves the
// slot wholly old or (once the journal is finished) wholly new. Where the lobby
// half is refused with one of the system's messages, the texture half is still
// written, as it always was, before the message; where its backup fails, nothing
// is written at all.
Outcome InsertSkin(const InsertJob& job, FrontEnd& ui) {
  if (job.Picture.BitsPerPixel == 0) return ui.Refuse(text::kLoadImageFirst, MessageIcon::None);

  // ---- the texture archive ----
  if (!job.Game.Exists(kTexturesArchive)) return PathInvalid(ui);
  const std::string texturesBackup = std::string(kTexturesArchive) + "b",
                    propsBackup = std::string(kPropsArchive) + "b";
  if (const Outcome ready = job.PrepareToWrite(); ready != Outcome::Done) return ready;
  bool texturesBackedUp = false, propsBackedUp = false;
  if (!job.Game.Exists(texturesBackup)) {
    ui.SetStatus(text::BackingUp(kTexturesArchive), true);
    if (!job.BackUp(kTexturesArchive)) return Outcome::Refused;
    texturesBackedUp = true;
  }
  ui.SetBusy(true);
  Journal journal;
  journal.What = "Insert Skin into slot " + std::to_string(job.Slot);
  std::vector<std::string> writeSteps;
  std::optional<PatchTarget> textures;
  std::optional<PatchTarget> props;
  // Writes what has been planned, then ends the command with `then`. What the slot
  // held is kept first as a version in its history, unless the insert changes
  // nothing; the slot state then records the new contents and their picture.
  const auto commit = [&](const std::function<Outcome()>& then) {
    ArchiveFile* propsFile = props ? &props->File : nullptr;
    std::vector<ArchiveFile*> files = {&textures->File};
    if (propsFile && journal.Archives.size() > 1) files.push_back(propsFile);
    const ArchivePair pair = {Opened(textures->File), propsFile ? Opened(*propsFile) : NotThere()};
    VersionFile before(job.Slot, static_cast<int64_t>(std::time(nullptr)));
    before.AddEntries(pair, LocateSlot(pair, job.Index, job.Slot));
    SlotView after = before.Entries();
    for (size_t i = 0; i < journal.Writes.size(); ++i) after[i] = std::span<const uint8_t>(journal.Writes[i].Bytes);
    const SlotDigest was = DigestOf(before.Entries()), now = DigestOf(after);
    SlotState known = LoadSlotState(job.Game);
    std::vector<std::vector<uint8_t>> versions;
    if (was != now) {
      versions.push_back(KeepVersion(journal, HistoryFolder(job.Game), job.Slot,
                                     std::move(before).Finish(SourceOf(known, job.Slot, was))));
    }
    const auto identities = Identities(job, textures->File, propsFile);
    // Backups made by this command copy the archives as they are: what is known of
    // the archives' slots is known of the backups' (where the skin index finds the
    // entries where their names do), and need not be read again.
    if (texturesBackedUp && propsBackedUp && TakenOf(known.Game, identities.first, identities.second) &&
        known.Game->Positions == PositionsChecksum(job.Index) &&
        PositionsChecksum(IndexByName(pair)) == known.Game->Positions) {
      known.Backups = known.Game;
      known.Backups->Textures = IdentityOf(job.Game.NativeGamePath(texturesBackup));
      known.Backups->Props = IdentityOf(job.Game.NativeGamePath(propsBackup));
    }
    CommitJournal(job.Game, journal, files, versions, [&](size_t i) { job.LastStep = writeSteps[i]; });
    RecordSlotChange(known, job.Slot, now, job.PictureName, identities, Identities(job, textures->File, propsFile));
    SaveSlotState(job.Game, known);
    return then();
  };
  try {
    job.LastStep = text::step::kBeforeCheckPatch;
    textures.emplace(job, kTexturesArchive);
    if (!CheckPatch(textures->Dir, job.Index, job.Slot)) return NotPatched(ui, text::kTexturesNotPatched);

    ui.SetStatus(text::QuickPatching(kTexturesArchive), false);
    job.LastStep = text::step::BeforeOpen(textures->FullPath);
    textures->File.RequireWritable();
    job.LastStep = text::step::AfterOpen(textures->FullPath);
    PlanWrites(job, *textures, 0, TexturePlans(job), journal, writeSteps);

    // ---- the lobby preview archive ----
    if (!job.Game.Exists(kPropsArchive)) return commit([&] { return PathInvalid(ui); });
    if (!job.Game.Exists(propsBackup)) {
      ui.SetStatus(text::BackingUp(kPropsArchive), true);
      // A failed backup stops the whole command: nothing is written to either archive.
      if (!job.BackUp(kPropsArchive)) {
        ui.SetBusy(false);
        return Outcome::Refused;
      }
      propsBackedUp = true;
    }
    ui.SetBusy(true);
    job.LastStep = text::step::kCheckingPatchedProps;
    props.emplace(job, kPropsArchive);
    const bool prepared = CheckPatchedProps(props->Dir, job.Index, job.Slot);
    job.LastStep = text::step::kClearingDirectory;
    if (!prepared) return commit([&] { return NotPatched(ui, text::kPropsNotPatched); });

    ui.SetStatus(text::QuickPatching(kPropsArchive), true);
    job.LastStep = text::step::OpenFile(props->FullPath);
    props->File.RequireWritable();
    PlanWrites(job, *props, 1, PropsPlans(job), journal, writeSteps);
    return commit([&] {
      ui.SetBusy(false);
      ui.SetStatus(text::kDone, true);
      return Outcome::Done;
    });
  } catch (const QuorlinError& e) {
    return FailureReport(job, ui, e.Number(), e.what());
  } catch (const std::out_of_range&) {
    return FailureReport(job, ui, kErrSubscriptOutOfRange, "Subscript out of range");
  } catch (const std::bad_alloc&) {
    return FailureReport(job, ui, kErrOutOfMemory, "Out of memory");
  }
}

}  // namespace quorlin

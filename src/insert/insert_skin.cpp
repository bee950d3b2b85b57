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
  int16_t position;
  int32_t side;
  std::string lengthStep;  // before the entry is looked up
  std::string writeStep;   // before the Targa image is made, and again before it is written
};

// One archive of the command: opened once for the command, for reading and writing
// where allowed, and its header and directory read once, by the patch check, for
// the writes too.
struct PatchTarget {
  explicit PatchTarget(const InsertJob& job, const std::string& name)
      : relative(name),
        fullPath(job.game.GamePath(name)),
        file(job.archives.Get(job.game.NativeGamePath(name))),
        dir(file.Directory()) {}
  std::string relative;
  std::string fullPath;  // as the step texts name it
  ArchiveFile& file;
  const ArchiveDirectory& dir;
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
  const uint64_t fileLength = target.file.Length();
  journal.archives.emplace_back(target.relative, fileLength);
  for (const EntryPlan& plan : plans) {
    job.lastStep = plan.lengthStep;
    const DirEntry& entry = target.dir.At(plan.position);
    const uint64_t position = ArchiveDirectory::DataPosition(target.dir.Header, entry);
    if (!EntryInsideFile(target.dir.Header, entry, fileLength)) {
      throw QuorlinError(kErrInputPastEnd, "Input past end of file: entry " + std::string(entry.Name) +
                                               " at position " + std::to_string(plan.position) + " ends at byte " +
                                               std::to_string(position + entry.DataLength) + ", past the end of " +
                                               target.fullPath + " (" + std::to_string(fileLength) + " bytes)");
    }
    job.lastStep = plan.writeStep;
    std::vector<uint8_t> bytes = EncodeLevel(job.picture, plan.side, job.filter);
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

std::vector<EntryPlan> TexturePlans(const InsertJob& job) {
  std::vector<EntryPlan> plans;
  for (int n = 0; n < kLevelCount; ++n) {
    plans.push_back({job.index.TexturesSkinIndex.at(static_cast<size_t>(job.slot))[static_cast<size_t>(n)], 512 >> n,
                     text::step::GettingSkin(job.slot, n), text::step::SaveTGA(n)});
  }
  return plans;
}

std::vector<EntryPlan> PropsPlans(const InsertJob& job) {
  return {{job.index.PropsSkinIndex.at(static_cast<size_t>(job.slot)), kLobbySide, text::step::PropsLength(job.slot),
           text::step::PropsSaveTGA(job.slot)}};
}

Outcome NotPatched(FrontEnd& ui, const char* title) {
  ui.SetBusy(false);
  ui.ShowMessage(text::kZandelRequired, title, MessageIcon::None, MessageButtons::Ok);
  return Outcome::Refused;
}

Outcome PathInvalid(FrontEnd& ui) {
  ui.SetBusy(false);
  ui.ShowMessage(text::kPathInvalid, text::kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
  return Outcome::EndProgram;
}

// The identities of the two archives, as the slot state records which files its digests are of.
std::pair<FileIdentity, FileIdentity> Identities(const InsertJob& job, ArchiveFile& textures, ArchiveFile* props) {
  return {textures.Native().Identity(),
          props ? props->Native().Identity() : IdentityOf(job.game.NativeGamePath(kPropsArchive))};
}

Outcome FailureReport(const InsertJob& job, FrontEnd& ui, int number, const std::string& description) {
  ui.SetBusy(false);
  ui.ShowMessage(text::ErrorReport(number, description) + "\n" + job.lastStep, text::kProgramTitle,
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
Outcome InsertSkin(const InsertJob& job, FrontEnd& ui) {
  if (job.picture.BitsPerPixel == 0) {
    ui.ShowMessage(text::kLoadImageFirst, text::kProgramTitle, MessageIcon::None, MessageButtons::Ok);
    return Outcome::Refused;
  }

  // ---- the texture archive ----
  if (!job.game.Exists(kTexturesArchive)) return PathInvalid(ui);
  const std::string texturesBackup = std::string(kTexturesArchive) + "b",
                    propsBackup = std::string(kPropsArchive) + "b";
  if (const Outcome ready = job.prepareToWrite(); ready != Outcome::Done) return ready;
  bool texturesBackedUp = false, propsBackedUp = false;
  if (!job.game.Exists(texturesBackup)) {
    ui.SetStatus(text::BackingUp(kTexturesArchive), true);
    if (!job.backUp(kTexturesArchive)) return Outcome::Refused;
    texturesBackedUp = true;
  }
  ui.SetBusy(true);
  Journal journal;
  journal.what = "Insert Skin into slot " + std::to_string(job.slot);
  std::vector<std::string> writeSteps;
  std::optional<PatchTarget> textures;
  std::optional<PatchTarget> props;
  // Writes what has been planned, then ends the command with `then`. What the slot
  // held is kept first as a version in its history, unless the insert changes
  // nothing; the slot state then records the new contents and their picture.
  const auto commit = [&](const std::function<Outcome()>& then) {
    ArchiveFile* propsFile = props ? &props->file : nullptr;
    std::vector<ArchiveFile*> files = {&textures->file};
    if (propsFile && journal.archives.size() > 1) files.push_back(propsFile);
    const ArchivePair pair = {Opened(textures->file), propsFile ? Opened(*propsFile) : NotThere()};
    VersionFile before(job.slot, static_cast<int64_t>(std::time(nullptr)));
    before.AddEntries(pair, LocateSlot(pair, job.index, job.slot));
    SlotView after = before.Entries();
    for (size_t i = 0; i < journal.writes.size(); ++i) after[i] = std::span<const uint8_t>(journal.writes[i].bytes);
    const SlotDigest was = DigestOf(before.Entries()), now = DigestOf(after);
    SlotState known = LoadSlotState(job.game);
    std::vector<std::vector<uint8_t>> versions;
    if (was != now) {
      versions.push_back(KeepVersion(journal, HistoryFolder(job.game), job.slot,
                                     std::move(before).Finish(SourceOf(known, job.slot, was))));
    }
    const auto identities = Identities(job, textures->file, propsFile);
    // Backups made by this command copy the archives as they are: what is known of
    // the archives' slots is known of the backups' (where the skin index finds the
    // entries where their names do), and need not be read again.
    if (texturesBackedUp && propsBackedUp && TakenOf(known.game, identities.first, identities.second) &&
        known.game->positions == PositionsChecksum(job.index) &&
        PositionsChecksum(IndexByName(pair)) == known.game->positions) {
      known.backups = known.game;
      known.backups->textures = IdentityOf(job.game.NativeGamePath(texturesBackup));
      known.backups->props = IdentityOf(job.game.NativeGamePath(propsBackup));
    }
    CommitJournal(job.game, journal, files, versions, [&](size_t i) {
      if (i == kLevelCount) job.lastStep = text::step::kOutOfTGA5;
      job.lastStep = writeSteps[i];
    });
    if (journal.writes.size() == kLevelCount) job.lastStep = text::step::kOutOfTGA5;
    RecordSlotChange(known, job.slot, now, job.pictureName, identities, Identities(job, textures->file, propsFile));
    SaveSlotState(job.game, known);
    return then();
  };
  try {
    job.lastStep = text::step::kBeforeCheckPatch;
    textures.emplace(job, kTexturesArchive);
    bool prepared = CheckPatch(textures->dir, job.index, job.slot);
    job.lastStep = text::step::kAfterCheckPatch;
    job.lastStep = text::step::kAllocDirectory;
    job.lastStep = text::step::kAfterAllocDirectory;
    if (!prepared) return NotPatched(ui, text::kTexturesNotPatched);

    ui.SetStatus(text::QuickPatching(kTexturesArchive), false);
    job.lastStep = text::step::BeforeOpen(textures->fullPath);
    textures->file.RequireWritable();
    job.lastStep = text::step::AfterOpen(textures->fullPath);
    PlanWrites(job, *textures, 0, TexturePlans(job), journal, writeSteps);

    // ---- the lobby preview archive ----
    if (!job.game.Exists(kPropsArchive)) return commit([&] { return PathInvalid(ui); });
    if (!job.game.Exists(propsBackup)) {
      ui.SetStatus(text::BackingUp(kPropsArchive), true);
      // A failed backup stops the whole command: nothing is written to either archive.
      if (!job.backUp(kPropsArchive)) {
        ui.SetBusy(false);
        return Outcome::Refused;
      }
      propsBackedUp = true;
    }
    ui.SetBusy(true);
    job.lastStep = text::step::kCheckingPatchedProps;
    props.emplace(job, kPropsArchive);
    prepared = CheckPatchedProps(props->dir, job.index, job.slot);
    job.lastStep = text::step::kClearingDirectory;
    if (!prepared) return commit([&] { return NotPatched(ui, text::kPropsNotPatched); });

    ui.SetStatus(text::QuickPatching(kPropsArchive), true);
    job.lastStep = text::step::OpenFile(props->fullPath);
    props->file.RequireWritable();
    PlanWrites(job, *props, 1, PropsPlans(job), journal, writeSteps);
    return commit([&] {
      ui.SetBusy(false);
      ui.SetStatus(text::kDone, true);
      return Outcome::Done;
    });
  } catch (const QuorlinError& e) {
    return FailureReport(job, ui, e.number(), e.what());
  } catch (const std::out_of_range&) {
    return FailureReport(job, ui, kErrSubscriptOutOfRange, "Subscript out of range");
  } catch (const std::bad_alloc&) {
    return FailureReport(job, ui, kErrOutOfMemory, "Out of memory");
  }
}

}  // namespace quorlin

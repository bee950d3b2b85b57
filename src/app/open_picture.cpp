#include <algorithm>
#include <cctype>

#include "app/commands.h"
#include "image/bitmap.h"
#include "image/picture/picture_decoder.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/texts.h"

namespace quorlin {

namespace {

// The reader is chosen by the last three letters of the name, upper-cased; no dot
// is needed before them.
std::string LastThreeUpper(const std::string& path) {
  std::string tail = path.size() >= 3 ? path.substr(path.size() - 3) : path;
  std::transform(tail.begin(), tail.end(), tail.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return tail;
}

Outcome Refuse(ProgramState& state, WindowShell& shell, const std::string& message) {
  shell.ShowMessage(message, text::kProgramTitle, MessageIcon::None, MessageButtons::Ok);
  state.LoadedImage.BitsPerPixel = 0;
  shell.ShowPicture(nullptr);
  return Outcome::Refused;
}

}  // namespace

Outcome OpenPicture(ProgramState& state, WindowShell& shell, const std::string& nativePath,
                    const PictureDecoder& decoder) {
  const std::string kind = LastThreeUpper(nativePath);
  try {
    if (kind == "JPG" || kind == "BMP" || kind == "PNG") {
      ImageBuffer decoded;
      // Plain 24-bit bitmaps are read here; everything else goes to the platform's decoder.
      if (!(kind == "BMP" && LoadPlainBitmap(nativePath, decoded, kMaxPicturePixels))) {
        if (!decoder) throw QuorlinError(kErrBadFileFormat, "Cannot read " + nativePath);
        decoder(nativePath, decoded);
      }
      state.LoadedImage = std::move(decoded);
    } else if (kind == "TGA") {
      if (!CheckTGA(nativePath, state.LastTgaHeader)) return Refuse(state, shell, text::kTargaNot24);
      LoadTGA(nativePath, state.LoadedImage, state.LastTgaHeader, kMaxPicturePixels);
    } else {
      return Refuse(state, shell, text::kUnsupportedFormat);
    }
  } catch (const QuorlinError& e) {
    return Refuse(state, shell, e.what());
  }

  shell.ShowPicture(&state.LoadedImage);
  if (state.LoadedImage.Width != 512 || state.LoadedImage.Height != 512) {
    shell.ShowMessage(text::kNot512, text::kProgramTitle, MessageIcon::None, MessageButtons::Ok);
    state.LoadedImage.Pixels.assign(1, 0);
    state.LoadedImage.BitsPerPixel = 0;
    shell.ShowPicture(nullptr);
    return Outcome::Refused;
  }
  CopyImage(state.LoadedImage, state.WorkImage);
  state.LoadedPictureName = FromFsPath(FsPath(nativePath).filename());
  shell.SetStatus(text::kTextureLoaded, false);
  return Outcome::Done;
}

}  // namespace quorlin

#include <algorithm>
#include <cctype>

#include "app/commands.h"
#include "image/bitmap.h"
#include "image/picture_size.h"
#include "image/resample.h"
#include "image/targa.h"
#include "base/error.h"
#include "platform/paths.h"
#include "base/texts.h"

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

Outcome Refuse(ProgramState& state, FrontEnd& ui, const PictureBox& show, const std::string& message) {
  ui.Tell(message, MessageIcon::None);
  state.LoadedImage.BitsPerPixel = 0;
  if (show) show(nullptr);
  return Outcome::Refused;
}

}  // namespace

Outcome OpenPicture(ProgramState& state, FrontEnd& ui, const std::string& nativePath, const PictureDecoder& decoder,
                    ScaleDown scaleDown, const PictureBox& show) {
  const std::string kind = LastThreeUpper(nativePath);
  ImageBuffer decoded;
  try {
    if (kind == "JPG" || kind == "BMP" || kind == "PNG") {
      // Plain 24-bit bitmaps are read here; everything else goes to the platform's decoder.
      if (!(kind == "BMP" && LoadPlainBitmap(nativePath, decoded))) {
        if (!decoder) throw QuorlinError(kErrBadFileFormat, "Cannot read " + nativePath);
        decoder(nativePath, decoded);
      }
    } else if (kind == "TGA") {
      TgaHeader header;
      if (!CheckTGA(nativePath, header)) return Refuse(state, ui, show, text::kTargaNot24);
      LoadTGA(nativePath, decoded, header);
    } else {
      return Refuse(state, ui, show, text::kUnsupportedFormat);
    }
  } catch (const PictureTooLarge& e) {
    // Told from its header: a square too large to scale down, or not a skin at all.
    const bool square = e.Width == e.Height;
    return Refuse(state, ui, show, square ? text::TooLargeToScale(e.Width, e.Height) : text::kNot512);
  } catch (const QuorlinError& e) {
    return Refuse(state, ui, show, e.what());
  }

  // A square picture larger than a skin may be scaled down to 512x512 (in linear
  // light), and is then loaded as a 512x512 file is; otherwise it is refused below.
  const bool scalable = decoded.Width == decoded.Height && decoded.Width > 512;
  if (scalable && scaleDown != ScaleDown::Never &&
      (scaleDown == ScaleDown::Always ||
       ui.ShowMessage(text::ScaleDownQuestion(decoded.Width, decoded.Height), text::kProgramTitle,
                         MessageIcon::Question, MessageButtons::YesNo) == MessageAnswer::Yes)) {
    try {
      decoded = ScaleDownInLinearLight(decoded, 512);
    } catch (const QuorlinError& e) {
      return Refuse(state, ui, show, e.what());
    }
  }
  state.LoadedImage = std::move(decoded);
  // A picture too large to show is not shown before it is refused.
  if (!scalable && show) show(&state.LoadedImage);
  if (state.LoadedImage.Width != 512 || state.LoadedImage.Height != 512) {
    state.LoadedImage.Pixels.assign(1, 0);  // the view keeps its own copy of what it shows
    return Refuse(state, ui, show, text::kNot512);
  }
  if (scalable && show) show(&state.LoadedImage);
  state.LoadedPictureName = FromFsPath(FsPath(nativePath).filename());
  ui.SetStatus(text::kTextureLoaded, false);
  return Outcome::Done;
}

}  // namespace quorlin

#include <algorithm>
#include <cctype>

#include "app/commands.h"
#include "image/bitmap.h"
#include "platform/error.h"

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

Outcome Refuse(ProgramState& state, Shell& shell, const std::string& message) {
  shell.ShowMessage(message, kProgramTitle, MessageIcon::None, MessageButtons::Ok);
  state.LoadedImage.BitsPerPixel = 0;
  shell.ShowPicture(nullptr);
  return Outcome::Refused;
}

}  // namespace

Outcome OpenPicture(ProgramState& state, Shell& shell, const std::string& nativePath, const PictureDecoder& decoder) {
  const std::string kind = LastThreeUpper(nativePath);
  if (kind == "JPG" || kind == "BMP" || kind == "PNG") {
    std::string reason;
    ImageBuffer decoded;
    PlainBitmap plain = PlainBitmap::NotPlain;
    if (kind == "BMP") {
      try {
        plain = LoadPlainBitmap(nativePath, decoded, kMaxPicturePixels);
      } catch (const QuorlinError&) {
        // Unreadable: the decoder reports it as for any other picture.
      }
    }
    if (plain == PlainBitmap::TooLarge) return Refuse(state, shell, kNot512);
    if (plain == PlainBitmap::Truncated) {
      return Refuse(state, shell, "Cannot read " + nativePath + ": the bitmap file is shorter than its pixels");
    }
    if (plain == PlainBitmap::NotPlain && (!decoder || !decoder(nativePath, decoded, reason))) {
      return Refuse(state, shell, reason.empty() ? "Cannot read " + nativePath : reason);
    }
    state.LoadedImage = std::move(decoded);
  } else if (kind == "TGA") {
    if (!CheckTGA(nativePath, state.LastTgaHeader)) {
      return Refuse(state, shell, "Targa file must be 24-bit Uncompressed!");
    }
    TgaStatus status = TgaStatus::Truncated;
    try {
      status = LoadTGA(nativePath, state.LoadedImage, state.LastTgaHeader, kMaxPicturePixels);
    } catch (const QuorlinError& e) {
      return Refuse(state, shell, e.what());
    }
    if (status == TgaStatus::TooLarge) return Refuse(state, shell, kNot512);
    if (status == TgaStatus::BadSize) {
      return Refuse(state, shell, "Cannot read " + nativePath + ": the Targa image's width or height is not usable.");
    }
    if (status != TgaStatus::Ok) {
      return Refuse(state, shell, "Cannot read " + nativePath + ": the Targa file is shorter than its pixels.");
    }
  } else {
    return Refuse(state, shell, "Unsupported format!");
  }

  shell.ShowPicture(&state.LoadedImage);
  if (state.LoadedImage.Width != 512 || state.LoadedImage.Height != 512) {
    shell.ShowMessage(kNot512, kProgramTitle, MessageIcon::None, MessageButtons::Ok);
    state.LoadedImage.Pixels.assign(1, 0);
    state.LoadedImage.BitsPerPixel = 0;
    shell.ShowPicture(nullptr);
    return Outcome::Refused;
  }
  CopyImage(state.LoadedImage, state.WorkImage);
  shell.SetStatus("Texture Loaded ready to insert", false);
  return Outcome::Done;
}

}  // namespace quorlin

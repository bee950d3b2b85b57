#pragma once

#include <cstdint>
#include <string>

namespace quorlin {

struct ImageBuffer;

// The program's title: the caption of every message box without one of its own.
inline constexpr const char* kProgramTitle = "Quorlin";

enum class MessageIcon { None, Critical, Information };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// What the commands need from a front end. The window implements it with Qt, the
// command line with the terminal, the tests with a recorder.
class Shell {
 public:
  virtual ~Shell() = default;

  // The status line; repaintNow asks for an immediate repaint.
  virtual void SetStatus(const std::string& text, bool repaintNow) = 0;
  // A modal message box; title is the caption (kProgramTitle unless the box has
  // its own).
  virtual MessageAnswer ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                                    MessageButtons buttons) = 0;
  // The hourglass pointer over the whole application.
  virtual void SetBusy(bool busy) = 0;

  // Window services used by start-up and the Skin menu; front ends without a
  // window ignore them.
  virtual void SetTitle(const std::string& /*title*/) {}
  virtual void ShowWindow() {}
  virtual void SetSkinItemChecked(int /*index*/, bool /*checked*/) {}
  // Draws a 24-bit image unscaled at the picture box's top left; nullptr clears it.
  virtual void ShowPicture(const ImageBuffer* /*image*/) {}

  // A note about what the program did on its own (such as finishing a write an
  // earlier run left unfinished): the window shows it in the status line, the
  // command line on standard error.
  virtual void Notice(const std::string& text) { SetStatus(text, true); }

  // Progress of a backup or restore copy; returning false cancels the copy.
  virtual bool CopyProgress(const std::string& /*what*/, uint64_t /*copied*/, uint64_t /*total*/) { return true; }
};

}  // namespace quorlin

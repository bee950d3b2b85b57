#pragma once

#include <cstdint>
#include <string>

#include "base/texts.h"

namespace quorlin {

enum class MessageIcon { None, Critical, Information, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// How a command ended.
enum class Outcome {
  Done,        // it did its work
  Refused,     // it stopped with one of the system's messages (or the user said No)
  EndProgram,  // the program must end (missing game, failure report)
};

// What the commands need from a front end, and all they know of one: the window's
// presenter, the command line's terminal, the tests' recorder.
class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  // The status line; repaintNow asks for an immediate repaint.
  virtual void SetStatus(const std::string& text, bool repaintNow) = 0;
  // A modal message box; title is the caption (the program's title unless the box
  // has its own).
  virtual MessageAnswer ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                                    MessageButtons buttons) = 0;
  // The hourglass pointer over the whole application.
  virtual void SetBusy(bool busy) = 0;

  // A box with only Ok, under the program's title.
  void Tell(const std::string& text, MessageIcon icon) {
    ShowMessage(text, text::kProgramTitle, icon, MessageButtons::Ok);
  }
  // The same, for a command that stops there.
  Outcome Refuse(const std::string& text, MessageIcon icon = MessageIcon::Critical) {
    Tell(text, icon);
    return Outcome::Refused;
  }

  // Brings the front end into view before work the user must watch (the index being
  // built): the window shows itself; a terminal is in view already.
  virtual void MakeVisible() {}

  // A note about what the program did on its own (such as finishing a write an
  // earlier run left unfinished): the window shows it in the status line, the
  // command line on standard error.
  virtual void Notice(const std::string& text) { SetStatus(text, true); }

  // This user cannot write the game's files (a protected or read-only folder or
  // file): the explanation names the folder. The command then ends the program
  // with nothing written; the window on Windows offers to restart as administrator.
  virtual void CannotWrite(const std::string& explanation) { Tell(explanation, MessageIcon::Critical); }

  // Progress of a backup or restore copy; returning false cancels the copy.
  virtual bool CopyProgress(const std::string& /*what*/, uint64_t /*copied*/, uint64_t /*total*/) { return true; }
};

}  // namespace quorlin

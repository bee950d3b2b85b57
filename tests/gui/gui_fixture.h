#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QString>
#include <deque>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "gui/frm_quorlin.h"
#include "samplegame/sample_game.h"
#include "support/temp_dir.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace quorlin::test {

// A small generated game (slots 9 and 12 prepared) in a temp folder, and a window
// over it whose message boxes and Open dialog are answered by the test.
class WindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    sample::GameOptions options;
    options.preparedSlots = {9, 12};
    options.fillerEntries = 20;
    sample::WriteSampleGame(GameDir(), options);
  }

  void TearDown() override {
    window.reset();
    // Whatever a test did, the pointer is back to normal and no box is waiting.
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }

  std::string GameDir() const { return temp / "game"; }
  std::string TexturesPath() const { return temp / "game/resource/textures.mw4"; }

  // Message boxes are recorded and answered from `answers` (Ok boxes need none);
  // the Open dialog answers `chosenPicture`.
  gui::WindowHooks Hooks() {
    gui::WindowHooks hooks;
    hooks.answerMessage = [this](const std::string& text, const std::string&, MessageIcon, MessageButtons buttons) {
      messages.push_back({text, buttons});
      if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
      if (answers.empty()) {
        ADD_FAILURE() << "a question nobody expected: " << text;
        return MessageAnswer::No;
      }
      const MessageAnswer answer = answers.front();
      answers.pop_front();
      return answer;
    };
    hooks.choosePicture = [this] {
      ++dialogsOpened;
      return chosenPicture;
    };
    hooks.firstShown = [this] { ++timesShown; };
    hooks.startup.GameDir = GameDir();
    return hooks;
  }

  // A window after a successful start-up, with the start-up messages forgotten.
  void StartWindow() {
    window = std::make_unique<gui::frmQuorlin>(Hooks());
    EXPECT_EQ(window->Form_Load(), Outcome::Done);
    window->show();
    messages.clear();
  }

  template <typename T>
  T* Child(const char* name) const {
    T* child = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << "no " << name;
    return child;
  }
  void Trigger(const char* actionName) {
    if (QAction* action = Child<QAction>(actionName)) action->trigger();
  }
  // File > Open with the dialog answering `path` (empty: Cancel).
  void Open(const std::string& path) {
    chosenPicture = QString::fromStdString(path);
    Trigger("mnufileopen");
  }
  QString Status() const { return window->findChild<QLabel*>(QStringLiteral("lblStatus"))->text(); }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& m : messages) texts.push_back(m.text);
    return texts;
  }

  TempDir temp;
  struct Message {
    std::string text;
    MessageButtons buttons;
  };
  std::vector<Message> messages;
  std::deque<MessageAnswer> answers;
  QString chosenPicture;
  int dialogsOpened = 0;
  int timesShown = 0;
  std::unique_ptr<gui::frmQuorlin> window;  // last: goes before the folder
};

}  // namespace quorlin::test

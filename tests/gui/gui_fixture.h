#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <deque>
#include <memory>
#include <ostream>

#include "gui/frm_quorlin.h"
#include "support/game_fixture.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace quorlin::test {

// A small generated game (slots 9 and 12 prepared) and a window over it whose
// message boxes (recorded, answered from `answers`) and Open dialog (answering
// `chosenPicture`, empty for Cancel) are the test's.
class WindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    layout = sample::WriteSampleGame(GameDir(), [] {
      auto options = SmallGame({9, 12});
      options.fillerEntries = 20;
      return options;
    }());
  }
  void TearDown() override {
    window.reset();
    // Whatever a test did, the pointer is back to normal and no box is waiting.
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
  std::string GameDir() const { return temp / "game"; }
  std::string TexturesPath() const { return temp / "game/resource/textures.mw4"; }
  gui::WindowHooks Hooks() {
    gui::WindowHooks hooks;
    hooks.answerMessage = [this](const std::string& text, const std::string&, MessageIcon, MessageButtons buttons) {
      messages.push_back(text);
      if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
      EXPECT_FALSE(answers.empty()) << "a question nobody expected: " << text;
      const MessageAnswer answer = answers.empty() ? MessageAnswer::No : answers.front();
      if (!answers.empty()) answers.pop_front();
      return answer;
    };
    hooks.choosePicture = [this] { return chosenPicture; };
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
  T* Child(const QString& name) const {
    T* child = window->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << "no " << name.toStdString();
    return child;
  }
  void Trigger(const QString& actionName) {
    if (QAction* action = Child<QAction>(actionName)) action->trigger();
  }
  void Open(const std::string& path) {
    chosenPicture = QString::fromStdString(path);
    Trigger("mnufileopen");
  }
  QString Status() const { return window->findChild<QLabel*>(QStringLiteral("lblStatus"))->text(); }

  TempDir temp;
  sample::SampleGame layout;
  std::vector<std::string> messages;
  std::deque<MessageAnswer> answers;
  QString chosenPicture;
  int timesShown = 0;
  std::unique_ptr<gui::frmQuorlin> window;  // last: goes before the folder
};

}  // namespace quorlin::test

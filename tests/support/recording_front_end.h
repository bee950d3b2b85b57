#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/commands.h"

namespace quorlin::test {

// A FrontEnd that records what the commands ask of the front end, one line per
// request in order, and answers Yes/No questions from a queue (No when empty).
class RecordingFrontEnd : public FrontEnd {
 public:
  struct Message {
    std::string text, title;
    MessageIcon icon;
    MessageButtons buttons;
  };

  void SetStatus(const std::string& text, bool repaintNow) override {
    events.push_back(std::string(repaintNow ? "status! " : "status ") + text);
    statuses.push_back(text);
  }
  MessageAnswer ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons) override {
    messages.push_back({text, caption, icon, buttons});
    events.push_back("message " + text);
    if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    const MessageAnswer a = answers.empty() ? MessageAnswer::No : answers.front();
    if (!answers.empty()) answers.pop_front();
    return a;
  }
  void SetBusy(bool on) override { events.push_back((busy = on) ? "busy" : "idle"); }
  void MakeVisible() override { events.push_back("show"); }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const Message& m : messages) texts.push_back(m.text);
    return texts;
  }

  std::vector<std::string> events, statuses;
  std::vector<Message> messages;
  std::deque<MessageAnswer> answers;
  bool busy = false;
};

}  // namespace quorlin::test

#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/shell.h"

namespace quorlin::test {

// A Shell that records everything the commands ask of the front end, in order,
// as one line each, and answers Yes/No questions from a queue (No when empty).
class RecordingShell : public Shell {
 public:
  struct Message {
    std::string text;
    std::string title;
    MessageIcon icon;
    MessageButtons buttons;
  };

  void SetStatus(const std::string& text, bool repaintNow) override {
    events.push_back(std::string(repaintNow ? "status! " : "status ") + text);
    status = text;
  }
  MessageAnswer ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                            MessageButtons buttons) override {
    messages.push_back({text, caption, icon, buttons});
    events.push_back("message " + text);
    if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    if (answers.empty()) return MessageAnswer::No;
    const MessageAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  void SetBusy(bool on) override {
    events.push_back(on ? "busy" : "idle");
    busy = on;
  }
  void SetTitle(const std::string& text) override {
    events.push_back("title " + text);
    title = text;
  }
  void ShowWindow() override { events.push_back("show"); }
  void SetSkinItemChecked(int index, bool checked) override {
    if (checked) events.push_back("check " + std::to_string(index));
    checkedItems[index] = checked;
  }
  void ShowPicture(const ImageBuffer* image) override { events.push_back(image ? "picture" : "picture cleared"); }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const Message& m : messages) texts.push_back(m.text);
    return texts;
  }
  std::vector<std::string> StatusTexts() const {
    std::vector<std::string> texts;
    for (const std::string& e : events) {
      if (e.rfind("status! ", 0) == 0)
        texts.push_back(e.substr(8));
      else if (e.rfind("status ", 0) == 0)
        texts.push_back(e.substr(7));
    }
    return texts;
  }

  std::vector<std::string> events;
  std::vector<Message> messages;
  std::deque<MessageAnswer> answers;
  std::string status;
  std::string title;
  bool busy = false;
  bool checkedItems[38] = {};
};

}  // namespace quorlin::test

#pragma once

#include <QString>
#include <deque>
#include <vector>

#include "server/operator_prompts.h"

namespace corvane::test {

// Keeps every message box the server showed and answers its questions from `answers`;
// once they run out, with the answer it was made with.
class RecordingPrompts : public OperatorPrompts {
 public:
  struct Box {
    QString text;
    QString title;
    Icon icon;
    bool question;
  };

  explicit RecordingPrompts(bool answerWhenOut = true) : answerWhenOut_(answerWhenOut) {}

  bool ConfirmOkCancel(const QString& text, const QString& title, Icon icon) override {
    boxes.push_back({text, title, icon, true});
    if (answers.empty()) return answerWhenOut_;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowMessage(const QString& text, const QString& title, Icon icon) override {
    boxes.push_back({text, title, icon, false});
  }

  std::deque<bool> answers;
  std::vector<Box> boxes;

 private:
  bool answerWhenOut_;
};

}  // namespace corvane::test

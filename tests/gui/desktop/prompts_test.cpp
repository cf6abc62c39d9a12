// The operator's message boxes: line breaks, buttons and the default button.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "gui/server/message_box_prompts.h"

namespace corvane::test {
namespace {

// Runs `inspect` on the message box once it is up, then presses `button` in it.
void AnswerNextBox(std::function<void(QMessageBox&)> inspect, QMessageBox::StandardButton button) {
  QTimer::singleShot(0, [inspect, button] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    inspect(*box);
    box->button(button)->click();
  });
}

TEST(MessageBoxPromptsTest, ConfirmDefaultsToCancelAndAMessageHasOnlyOk) {
  MessageBoxPrompts prompts;
  AnswerNextBox(
      [](QMessageBox& box) {
        EXPECT_EQ(box.text(), "Are you sure?\n\nYou have 2 user(s)  connected.");
        EXPECT_EQ(box.icon(), QMessageBox::Critical);
        EXPECT_EQ(box.standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::Cancel));
      },
      QMessageBox::Cancel);
  EXPECT_FALSE(prompts.ConfirmOkCancel("Are you sure?\r\rYou have 2 user(s)  connected.",
                                       "Disconnect Users", OperatorPrompts::Icon::Critical));
  AnswerNextBox([](QMessageBox& box) { EXPECT_EQ(box.icon(), QMessageBox::Question); },
                QMessageBox::Ok);
  EXPECT_TRUE(prompts.ConfirmOkCancel("Sure?", "Shutdown", OperatorPrompts::Icon::Question));
  AnswerNextBox([](QMessageBox& box) { EXPECT_EQ(box.standardButtons(), QMessageBox::Ok); },
                QMessageBox::Ok);
  prompts.ShowMessage("Database Error: x.db\r\rnot a database", "Database Error",
                      OperatorPrompts::Icon::Critical);
}

}  // namespace
}  // namespace corvane::test

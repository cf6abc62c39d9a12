// The operator's message boxes: line breaks, buttons, the default button and the window
// each belongs to.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
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

TEST(MessageBoxPromptsTest, ABoxAskedFromADialogKeptOnTopBelongsToItAndStaysAboveIt) {
  QWidget main;
  MessageBoxPrompts prompts(&main);
  QDialog setup;
  setup.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  setup.show();
  QApplication::setActiveWindow(&setup);
  AnswerNextBox(
      [&](QMessageBox& box) {
        EXPECT_EQ(box.parentWidget(), &setup);
        EXPECT_TRUE(box.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_FALSE(box.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
      },
      QMessageBox::Ok);
  prompts.ShowMessage("Clear the log?", "Clear Log File", OperatorPrompts::Icon::Question);
  // The dialog never stepped down for it.
  EXPECT_TRUE(setup.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  setup.hide();
  AnswerNextBox(
      [&](QMessageBox& box) {
        EXPECT_EQ(box.parentWidget(), &main);
        EXPECT_FALSE(box.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
      },
      QMessageBox::Ok);
  prompts.ShowMessage("Database Error", "Database Error", OperatorPrompts::Icon::Critical);
}

}  // namespace
}  // namespace corvane::test

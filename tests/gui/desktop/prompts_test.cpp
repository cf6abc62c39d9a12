// The operator's message boxes: texts with their line breaks, buttons, default button.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "gui/desktop/tray_icon.h"
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

TEST(MessageBoxPromptsTest, ConfirmDefaultsToCancelAndMessageHasOnlyOk) {
  MessageBoxPrompts prompts;
  AnswerNextBox(
      [](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), "Disconnect Users");
        EXPECT_EQ(box.text(), "Are you sure you want to exit?\n\nYou have 2 user(s)  connected.");
        EXPECT_EQ(box.icon(), QMessageBox::Critical);
        EXPECT_EQ(box.standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::Cancel));
      },
      QMessageBox::Cancel);
  EXPECT_FALSE(
      prompts.ConfirmOkCancel("Are you sure you want to exit?\r\rYou have 2 user(s)  connected.",
                              "Disconnect Users", OperatorPrompts::Icon::Critical));

  AnswerNextBox([](QMessageBox& box) { EXPECT_EQ(box.icon(), QMessageBox::Question); },
                QMessageBox::Ok);
  EXPECT_TRUE(prompts.ConfirmOkCancel("Sure?", "Shutdown CorvaneDB Server",
                                      OperatorPrompts::Icon::Question));
  // A message has only Ok.
  AnswerNextBox(
      [](QMessageBox& box) {
        EXPECT_EQ(box.text(), "Database Error: x.db\n\nnot a database");
        EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
      },
      QMessageBox::Ok);
  prompts.ShowMessage("Database Error: x.db\r\rnot a database", "Database Error",
                      OperatorPrompts::Icon::Critical);
}

TEST(TrayIconTest, TipAndDoubleClickOnly) {
  TrayIcon tray(QIcon(), true);
  int restores = 0;
  QObject::connect(&tray, &TrayIcon::RestoreRequested, [&restores] { ++restores; });
  tray.Add();
  tray.Add();  // a second add changes nothing
  EXPECT_TRUE(tray.Shown());
  EXPECT_EQ(tray.Tip(), "Quillon Software - Corvane Database");
  tray.SimulateClick();
  EXPECT_EQ(restores, 0);
  tray.SimulateDoubleClick();
  EXPECT_EQ(restores, 1);
  tray.Remove();
  tray.Remove();
  EXPECT_FALSE(tray.Shown());

  TrayIcon none(QIcon(), false);
  none.Add();
  EXPECT_FALSE(none.Shown());
}

}  // namespace
}  // namespace corvane::test

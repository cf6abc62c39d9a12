// The user editor of the setup dialog: new users, edits, and what it refuses.
#include "gui/config/user_editor.h"

#include <QMouseEvent>

#include "setup_fixture.h"

namespace corvane::test {
namespace {

class UserEditorTest : public SetupFixture {
 protected:
  void SetUp() override {
    StoreUsers({{"ANN", "PW1", "12345678"}, {"BOB", "PW2", "23456789"}});
    OpenDialog().show();
  }

  UserEditor* Editor() { return dialog_->OpenUserEditor(); }
  QLineEdit* Box(int index) {
    return Editor()->findChild<QLineEdit*>(QStringLiteral("Text1_%1").arg(index));
  }
  // Fills the editor's boxes (name, password, confirmation) and presses Save.
  void Enter(const QString& name, const QString& password, const QString& again) {
    Type(Box(0), name);
    Type(Box(1), password);
    Type(Box(2), again);
    SaveEditor();
  }
  void SaveEditor() { Editor()->findChild<QPushButton*>("Command1_0")->click(); }
  void Settle() {
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  void DoubleClickUser(int row) {
    QWidget* viewport = Users()->viewport();
    const QPoint at = Users()->visualRect(UserList().index(row, 0)).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
      QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                        Qt::NoModifier);
      QApplication::sendEvent(viewport, &event);
    }
  }
  QString LastTitle() const {
    return prompts_.boxes.empty() ? QString() : prompts_.boxes.back().title;
  }
};

TEST_F(UserEditorTest, ANewUserIsCheckedStepByStepThenListedButNotYetStored) {
  Click("cmdAddUser");
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Box(1)->echoMode(), QLineEdit::Password);
  SaveEditor();
  EXPECT_EQ(LastTitle(), "Enter Remote Host");
  EXPECT_EQ(prompts_.boxes.back().icon, OperatorPrompts::Icon::Critical);
  Type(Box(0), "  carol ");
  SaveEditor();  // the mask shown in the box is no password for a new user
  EXPECT_EQ(LastTitle(), "Enter Password");
  Enter("  carol ", "Secret ", "secret ");
  EXPECT_EQ(LastTitle(), "Passwords Do Not Match");
  Enter("bob", "Secret ", "Secret ");  // stored as BOB
  EXPECT_TRUE(prompts_.boxes.back().text.startsWith("User already exists."));
  ASSERT_NE(Editor(), nullptr);
  Type(Box(0), "  carol ");
  SaveEditor();
  EXPECT_EQ(prompts_.boxes.size(), 4u);
  ASSERT_EQ(UserList().Count(), 3);
  EXPECT_EQ(UserList().At(2).name, "CAROL");
  EXPECT_EQ(UserList().At(2).password, "SECRET");
  EXPECT_EQ(UserList().At(2).privateKey.size(), 8);
  Settle();
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(StoredUsers().size(), 2);  // nothing reaches the store before Save
}

TEST_F(UserEditorTest, EditingKeepsTheKeyAndTestsForAClashOnlyWhenTheNameWasTyped) {
  DoubleClickUser(1);
  ASSERT_NE(Editor(), nullptr);
  EXPECT_FALSE(Editor()->AddingUser());
  EXPECT_EQ(Box(0)->text(), "BOB");
  SaveEditor();  // untouched: BOB is stored, but the name was not typed
  EXPECT_TRUE(prompts_.boxes.empty());
  Settle();

  DoubleClickUser(1);
  Type(Box(1), "new");
  SaveEditor();
  EXPECT_EQ(LastTitle(), "Passwords Do Not Match");
  Enter("ann", "new", "new");
  EXPECT_TRUE(prompts_.boxes.back().text.startsWith("User already exists."));
  Type(Box(0), "Robert");
  SaveEditor();
  EXPECT_EQ(prompts_.boxes.size(), 2u);
  EXPECT_EQ(UserList().At(1), (UserRecord{"ROBERT", "NEW", "23456789"}));
  Settle();

  // Typing the same name back still counts as a change, and finds the user's own entry.
  DoubleClickUser(0);
  Type(Box(0), "ANN");
  SaveEditor();
  EXPECT_TRUE(prompts_.boxes.back().text.startsWith("User already exists."));
}

TEST_F(UserEditorTest, RefusesAUserThatWouldNotReadBackAndSavingTheSetupStoresTheListed) {
  Click("cmdAddUser");
  Enter(QString::fromUtf8("\u03a9mega"), "pw", "pw");  // no one-byte form
  EXPECT_TRUE(prompts_.boxes.back().text.startsWith("This Remote Host name cannot be stored"));
  Enter("dave", "a:b", "a:b");
  EXPECT_TRUE(prompts_.boxes.back().text.startsWith("This password cannot be stored"));
  EXPECT_EQ(UserList().Count(), 2);
  Enter("dave", "ab", "ab");
  EXPECT_EQ(UserList().Count(), 3);
  // Saving the setup closes an editor left open over the dialog and stores the listed users.
  Click("cmdAddUser");
  Save();
  Settle();
  EXPECT_EQ(Editor(), nullptr);
  ASSERT_EQ(StoredUsers().size(), 3);
  EXPECT_TRUE(Store().UserExists("dave"));
}

TEST_F(UserEditorTest, CancelChangesNothingAndNeitherDoesSavingARemovedUser) {
  DoubleClickUser(0);
  Type(Box(0), "ZED");
  Editor()->findChild<QPushButton*>("Command1_1")->click();
  Settle();
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(UserList().At(0).name, "ANN");
  // The user being edited is removed from the list meanwhile: the save changes nothing.
  DoubleClickUser(0);
  SelectUser(0);
  PressKey(Users(), Qt::Key_Delete);
  Type(Box(0), "ZED");
  SaveEditor();
  Settle();
  EXPECT_EQ(UserList().Users(), (QList<UserRecord>{{"BOB", "PW2", "23456789"}}));
}

}  // namespace
}  // namespace corvane::test

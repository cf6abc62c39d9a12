#include "gui/config/user_editor.h"

#include <QElapsedTimer>
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

TEST_F(UserEditorTest, NewUserMessagesComeInOrderThenTheUserIsListed) {
  Click("cmdAddUser");
  ASSERT_NE(Editor(), nullptr);
  EXPECT_EQ(Editor()->windowTitle(), "Corvane Database User");
  EXPECT_EQ(Box(1)->text(), "**********");
  EXPECT_EQ(Box(1)->echoMode(), QLineEdit::Password);

  SaveEditor();
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].text, "RemoteHost name is required.          ");
  EXPECT_EQ(prompts_.boxes[0].title, "Enter Remote Host");
  EXPECT_EQ(prompts_.boxes[0].icon, OperatorPrompts::Icon::Critical);
  EXPECT_FALSE(prompts_.boxes[0].question);

  Type(Box(0), "  carol ");
  SaveEditor();  // the mask is no password for a new user
  EXPECT_EQ(prompts_.boxes.back().text, "Password is required.               ");
  EXPECT_EQ(LastTitle(), "Enter Password");

  Type(Box(1), "Secret ");
  Type(Box(2), "secret ");
  SaveEditor();
  EXPECT_EQ(prompts_.boxes.back().text,
            "Passwords do not match.     \r\rReenter password and press 'Save'");
  EXPECT_EQ(LastTitle(), "Passwords Do Not Match");

  Type(Box(2), "Secret ");
  Type(Box(0), "bob");  // stored as BOB
  SaveEditor();
  EXPECT_EQ(prompts_.boxes.back().text,
            "User already exists.          \r\rYou will need to use another User Name.");
  EXPECT_EQ(LastTitle(), "Corvane Database");
  EXPECT_EQ(UserList().Count(), 2);
  ASSERT_NE(Editor(), nullptr);

  Type(Box(0), "  carol ");
  SaveEditor();
  EXPECT_EQ(prompts_.boxes.size(), 4u);
  ASSERT_EQ(UserList().Count(), 3);
  const UserRecord& carol = UserList().At(2);
  EXPECT_EQ(carol.name, "CAROL");
  EXPECT_EQ(carol.password, "SECRET");
  EXPECT_EQ(carol.privateKey.size(), 8);
  Settle();
  EXPECT_EQ(Editor(), nullptr);
  // Nothing reaches the store before the setup is saved.
  EXPECT_EQ(StoredUsers().size(), 2);
}

TEST_F(UserEditorTest, EditingKeepsTheKeyAndTestsForAClashOnlyWhenTheNameWasTyped) {
  DoubleClickUser(1);
  ASSERT_NE(Editor(), nullptr);
  EXPECT_FALSE(Editor()->AddingUser());
  EXPECT_EQ(Box(0)->text(), "BOB");
  EXPECT_FALSE(Editor()->NameChanged());
  SaveEditor();  // untouched: BOB is stored, but the name was not typed
  EXPECT_TRUE(prompts_.boxes.empty());
  EXPECT_EQ(UserList().At(1), (UserRecord{"BOB", "PW2", "23456789"}));
  Settle();

  DoubleClickUser(1);
  Type(Box(1), "new");
  SaveEditor();
  EXPECT_EQ(LastTitle(), "Passwords Do Not Match");
  Type(Box(2), "new");
  Type(Box(0), "ann");
  SaveEditor();
  EXPECT_EQ(prompts_.boxes.back().text.left(20), "User already exists.");
  Type(Box(0), "Robert");
  SaveEditor();
  EXPECT_EQ(prompts_.boxes.size(), 2u);
  EXPECT_EQ(UserList().At(1), (UserRecord{"ROBERT", "NEW", "23456789"}));
  Settle();

  // Typing the same name back still counts as a change, and finds the user's own entry.
  DoubleClickUser(0);
  Type(Box(0), "ANN");
  SaveEditor();
  EXPECT_EQ(prompts_.boxes.back().text.left(20), "User already exists.");
}

TEST_F(UserEditorTest, RefusesAUserThatWouldNotReadBack) {
  Click("cmdAddUser");
  Type(Box(0), QString(300, QLatin1Char('n')));
  Type(Box(1), "pw");
  Type(Box(2), "pw");
  SaveEditor();
  EXPECT_TRUE(prompts_.boxes.back().text.startsWith("This Remote Host name cannot be stored"));

  Type(Box(0), QString::fromUtf8("\u03a9mega"));  // no one-byte form
  SaveEditor();
  EXPECT_TRUE(prompts_.boxes.back().text.startsWith("This Remote Host name cannot be stored"));

  Type(Box(0), "dave");
  Type(Box(1), "a:b");
  Type(Box(2), "a:b");
  SaveEditor();
  EXPECT_TRUE(prompts_.boxes.back().text.startsWith("This password cannot be stored"));
  EXPECT_EQ(UserList().Count(), 2);

  Type(Box(1), "ab");
  Type(Box(2), "ab");
  SaveEditor();
  EXPECT_EQ(UserList().Count(), 3);
}

TEST_F(UserEditorTest, AUserAddedBeforeTheKeyTimerTicksGetsAKeyMadeOnTheSpot) {
  OpenDialog();  // never shown, never active: the timer has not run
  ASSERT_TRUE(server_->Users().NextPrivateKey().isEmpty());
  Click("cmdAddUser");
  Type(Box(0), "eve");
  Type(Box(1), "pw");
  Type(Box(2), "pw");
  SaveEditor();
  ASSERT_EQ(UserList().Count(), 3);
  const QString key = UserList().At(2).privateKey;
  EXPECT_EQ(key.size(), 8);

  // The next user, added at once, gets a key of its own.
  Click("cmdAddUser");
  Type(Box(0), "fay");
  Type(Box(1), "pw");
  Type(Box(2), "pw");
  SaveEditor();
  ASSERT_EQ(UserList().Count(), 4);
  EXPECT_EQ(UserList().At(3).privateKey.size(), 8);
  EXPECT_NE(UserList().At(3).privateKey, key);
}

TEST_F(UserEditorTest, CancelAndRemovedSelectionChangeNothing) {
  DoubleClickUser(0);
  Type(Box(0), "ZED");
  Editor()->findChild<QPushButton*>("Command1_1")->click();
  Settle();
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(UserList().At(0).name, "ANN");
  // The editor's boxes and marks start afresh the next time.
  Click("cmdAddUser");
  EXPECT_EQ(Box(0)->text(), "");
  EXPECT_FALSE(Editor()->NameChanged());
  EXPECT_TRUE(Editor()->AddingUser());
  Editor()->close();  // the close box cancels too
  Settle();
  EXPECT_EQ(Editor(), nullptr);

  // The user being edited is removed from the list meanwhile: the save changes nothing.
  DoubleClickUser(0);
  SelectUser(0);
  PressKey(Users(), Qt::Key_Delete);
  Type(Box(0), "ZED");
  SaveEditor();
  Settle();
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(UserList().Users(), (QList<UserRecord>{{"BOB", "PW2", "23456789"}}));
}

TEST_F(UserEditorTest, SavingTheSetupClosesTheEditorAndStoresTheListedUsers) {
  Click("cmdAddUser");
  Type(Box(0), "carol");
  Type(Box(1), "pw");
  Type(Box(2), "pw");
  SaveEditor();
  Click("cmdAddUser");  // left open over the dialog
  Click("cmdSetup_0");
  Settle();
  EXPECT_EQ(Editor(), nullptr);
  EXPECT_EQ(finished_, 1);
  ASSERT_EQ(StoredUsers().size(), 3);
  EXPECT_EQ(StoredUsers()[2].name, "CAROL");
  EXPECT_TRUE(server_->Users().UserExists("carol"));
}

TEST_F(UserEditorTest, KeyCandidateRenewsOnlyWhileTheSetupDialogIsActive) {
  auto waitMs = [](int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
  };
  dialog_->activateWindow();
  waitMs(50);
  if (!dialog_->isActiveWindow()) GTEST_SKIP() << "this platform does not activate windows";
  waitMs(1100);
  const QString first = server_->Users().NextPrivateKey();
  EXPECT_EQ(first.size(), 8);

  // A question leaves the dialog active and topmost again afterwards.
  SelectUser(0);
  prompts_.answers = {false};
  PressKey(Users(), Qt::Key_Delete);
  waitMs(50);
  EXPECT_TRUE(dialog_->isActiveWindow());
  EXPECT_TRUE(dialog_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

  Click("cmdAddUser");
  waitMs(50);
  ASSERT_FALSE(dialog_->isActiveWindow());
  const QString held = server_->Users().NextPrivateKey();
  waitMs(1100);
  EXPECT_EQ(server_->Users().NextPrivateKey(), held);
}

}  // namespace
}  // namespace corvane::test

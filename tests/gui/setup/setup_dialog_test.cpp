// The setup dialog: what it shows of the running server, what Save applies, and how its
// controls answer the operator.
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QTimer>

#include "gui/config/setup_form.h"
#include "setup_fixture.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

constexpr int kListening = 2;

class SetupDialogTest : public SetupFixture {
 protected:
  void SetUp() override {
    StoreUsers({{"ANN", "PW1", "12345678"}, {"BOB", "PW2", "23456789"}});
    Configure(
        [](ServerSettings& s) {
          s.ListenPort = 4321;
          s.RunMinimized = 1;
          s.RefreshRate = 10;
          s.KeepLogFile = 1;
          s.EncryptionEnabled = 1;
          s.InactivityLimit = 15;
        },
        PublishedList{{"a.db", "/data/a.db"}, {"b.mdb", "/data/b.mdb"}});
  }
};

TEST_F(SetupDialogTest, FillsTheControlsFromTheSettingsAndTheStore) {
  OpenDialog();
  EXPECT_EQ(Find<QLineEdit>("txtPort")->text(), "4321");
  ASSERT_EQ(Databases()->topLevelItemCount(), 2);
  EXPECT_EQ(Databases()->topLevelItem(1)->text(1), "/data/b.mdb");
  ASSERT_EQ(UserList().Count(), 2);
  EXPECT_EQ(UserList().At(1), (UserRecord{"BOB", "PW2", "23456789"}));
  const bool expected[6] = {false, true, true, true, false, true};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Check(i)->isChecked(), expected[i]) << i;
  EXPECT_EQ(Find<QComboBox>("Combo1")->currentText(), "10");
  EXPECT_EQ(Find<QComboBox>("Combo2")->currentText(), "15");
}

TEST_F(SetupDialogTest, SaveAppliesEverythingAndRestartsTheListener) {
  const quint16 port = FreeListenPort();
  SetupDialog& dialog = OpenDialog();
  int checks = 0;
  dialog.SetDatabaseCheck([&] {
    ++checks;
    // The check runs once the users are written.
    EXPECT_EQ(StoredUsers(), (QList<UserRecord>{{"BOB", "PW2", "23456789"}}));
  });
  dialog.show();
  Type(Find<QLineEdit>("txtPort"), QString::number(port));
  Check(0)->setChecked(true);
  Check(3)->setChecked(false);
  Find<QComboBox>("Combo1")->setEditText("25");
  Find<QComboBox>("Combo2")->setEditText("45");
  AddBrowsedDatabase(Databases(), "/data/c.sqlite");
  server_->Slots().Slot(7).session.IdleMinutes = 9;
  SelectUser(0);
  PressKey(Users(), Qt::Key_Delete);  // ANN goes, answered OK

  Click("cmdSetup_0");
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(finished_, 1);
  EXPECT_EQ(checks, 1);
  const ServerSettings& s = server_->Settings();
  EXPECT_EQ(s.ListenPort, port);
  EXPECT_EQ(s.RunAtStartup, 1);
  EXPECT_EQ(s.EncryptionEnabled, 0);
  EXPECT_EQ(s.RefreshRate, 25);
  EXPECT_EQ(s.InactivityLimit, 45);
  EXPECT_EQ(server_->Slots().Slot(7).session.IdleMinutes, 0);  // counting starts afresh
  EXPECT_EQ(server_->CatalogueLists().published.back().location, "/data/c.sqlite");
  EXPECT_EQ(StoredUsers(), (QList<UserRecord>{{"BOB", "PW2", "23456789"}}));
  EXPECT_TRUE(QFile::exists(dir_.filePath("config/autostart/corvane-server.desktop")));
  EXPECT_EQ(server_->Slots().ListenerState(), kListening);
  EXPECT_EQ(server_->Slots().ListenerPort(), port);
  // The settings files wait for the exit.
  EXPECT_FALSE(QFile::exists(dir_.filePath("network.dat")));
}

TEST_F(SetupDialogTest, NumbersWithoutALeadingNumberSaveZeroAndAPortOutOfRangeKeepsTheOld) {
  OpenDialog();
  Find<QComboBox>("Combo1")->setEditText("fast");
  Find<QComboBox>("Combo2")->setEditText("x15");
  Type(Find<QLineEdit>("txtPort"), "40000");
  Click("cmdSetup_0");
  EXPECT_EQ(server_->Settings().RefreshRate, 0);
  EXPECT_EQ(server_->Settings().InactivityLimit, 0);
  EXPECT_EQ(server_->Settings().ListenPort, 4321);
  OpenDialog();
  Type(Find<QLineEdit>("txtPort"), "none");
  Click("cmdSetup_0");
  EXPECT_EQ(server_->Settings().ListenPort, 0);
  EXPECT_EQ(LeadingInt16("1235.5"), 1236);
  EXPECT_EQ(LeadingInt16("32767.5"), std::nullopt);
  EXPECT_EQ(LeadingInt32("1E10"), std::nullopt);
}

TEST_F(SetupDialogTest, CancelAndTheCloseBoxKeepTheStoreButRestartTheListener) {
  Configure([](ServerSettings& s) { s.ListenPort = static_cast<int16_t>(FreeListenPort()); });
  for (bool closeBox : {false, true}) {
    SetupDialog& dialog = OpenDialog();
    dialog.show();
    SelectUser(1);
    PressKey(Users(), Qt::Key_Delete);
    Type(Find<QLineEdit>("txtPort"), "999");
    closeBox ? (void)dialog.close() : Click("cmdSetup_1");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(StoredUsers().size(), 2) << closeBox;
    EXPECT_NE(server_->Settings().ListenPort, 999);
    EXPECT_EQ(server_->Slots().ListenerState(), kListening) << closeBox;
    server_->Slots().CloseListener();
  }
  EXPECT_EQ(finished_, 2);
}

TEST_F(SetupDialogTest, DeleteAsksFirstAndCancelKeepsTheItem) {
  OpenDialog();
  Databases()->setCurrentItem(Databases()->topLevelItem(1));
  prompts_.answers = {false};
  PressKey(Databases(), Qt::Key_Delete);
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].text,
            "Database b.mdb will be permanently removed.\r\rAre you sure you want to continue?");
  EXPECT_EQ(Databases()->topLevelItemCount(), 2);
  PressKey(Databases(), Qt::Key_Delete);
  ASSERT_EQ(Databases()->topLevelItemCount(), 1);
  EXPECT_EQ(Databases()->topLevelItem(0)->text(0), "a.db");
  SelectUser(0);
  prompts_.answers = {false};
  PressKey(Users(), Qt::Key_Delete);
  EXPECT_TRUE(prompts_.boxes.back().text.startsWith("User ANN will be permanently removed."));
  EXPECT_EQ(UserList().Count(), 2);
  // An empty list asks nothing.
  Databases()->clear();
  const size_t asked = prompts_.boxes.size();
  PressKey(Databases(), Qt::Key_Delete);
  EXPECT_EQ(prompts_.boxes.size(), asked);
}

TEST_F(SetupDialogTest, TheLogButtonsAndTheMinutesFollowTheirBoxes) {
  Configure([](ServerSettings& s) {
    s.KeepLogFile = 0;
    s.InactivityLimit = 0;
  });
  OpenDialog();
  auto* clear = Find<QPushButton>("cmdLog_1");
  auto* minutes = Find<QComboBox>("Combo2");
  EXPECT_FALSE(clear->isEnabled());
  EXPECT_FALSE(minutes->isEnabled());
  Check(2)->click();
  Check(5)->click();
  EXPECT_TRUE(clear->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("cmdLog_0")->isEnabled());
  EXPECT_TRUE(minutes->isEnabled());
  EXPECT_TRUE(Find<QLabel>("lblMins")->isEnabled());

  // Clearing the log asks first.
  ASSERT_TRUE(WriteFileBytes(server_->LogFilePath(), "Server Started\r\n"));
  prompts_.answers = {false, true};
  clear->click();
  EXPECT_EQ(prompts_.boxes.back().title, "Clear Log File");
  EXPECT_EQ(QFileInfo(server_->LogFilePath()).size(), 16);
  clear->click();
  EXPECT_EQ(QFileInfo(server_->LogFilePath()).size(), 0);
  // Topmost again once the question is answered.
  EXPECT_TRUE(dialog_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

  // Minutes typed while the box is checked are saved as 0 once it is unchecked.
  minutes->setEditText("30");
  Check(5)->click();
  EXPECT_FALSE(minutes->isEnabled());
  Click("cmdSetup_0");
  EXPECT_EQ(server_->Settings().InactivityLimit, 0);
}

TEST_F(SetupDialogTest, BrowseAddsTheChosenFileAndRemembersItsFolder) {
  const QString file = dir_.filePath("shop.sqlite");
  ASSERT_TRUE(WriteFileBytes(file, ""));
  SetupDialog& dialog = OpenDialog();
  dialog.show();
  QTimer::singleShot(0, [&] {
    auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->nameFilters(), PublishableDatabaseFilters());
    chooser->selectFile(file);
    QMetaObject::invokeMethod(chooser, "accept");
  });
  Click("cmdBrowse");
  ASSERT_EQ(Databases()->topLevelItemCount(), 3);
  EXPECT_EQ(Databases()->topLevelItem(2)->text(0), "shop.sqlite");
  EXPECT_EQ(Databases()->topLevelItem(2)->text(1), file);
  EXPECT_EQ(QDir(dialog.LastBrowseFolder()), QDir(dir_.path()));
}

TEST_F(SetupDialogTest, F1AsksForHelpFromAnyControl) {
  SetupDialog& dialog = OpenDialog();
  dialog.show();
  int help = 0;
  QObject::connect(&dialog, &SetupDialog::HelpRequested, [&] { ++help; });
  PressKey(Users(), Qt::Key_F1);
  PressKey(Find<QLineEdit>("txtPort"), Qt::Key_F1);
  EXPECT_EQ(help, 2);
  EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(dialog.isVisible());
}

}  // namespace
}  // namespace corvane::test

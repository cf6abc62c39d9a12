#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QTabWidget>
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
  SetupDialog& dialog = OpenDialog();
  EXPECT_EQ(dialog.windowTitle(), "Server Setup");
  EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  auto* tabs = Find<QTabWidget>("SSTab1");
  ASSERT_EQ(tabs->count(), 4);
  EXPECT_EQ(tabs->tabText(0), "Database");
  EXPECT_EQ(tabs->tabText(3), "Users");
  dialog.SelectTab(SetupDialog::kNetworkTab);
  EXPECT_EQ(tabs->currentIndex(), 2);

  EXPECT_EQ(Find<QLineEdit>("txtPort")->text(), "4321");
  ASSERT_EQ(Databases()->topLevelItemCount(), 2);
  EXPECT_EQ(Databases()->topLevelItem(1)->text(0), "b.mdb");
  EXPECT_EQ(Databases()->topLevelItem(1)->text(1), "/data/b.mdb");
  ASSERT_EQ(UserList().Count(), 2);
  EXPECT_EQ(UserList().At(1), (UserRecord{"BOB", "PW2", "23456789"}));

  const bool expected[6] = {false, true, true, true, false, true};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Check(i)->isChecked(), expected[i]) << i;
  EXPECT_EQ(Find<QComboBox>("Combo1")->currentText(), "10");
  EXPECT_EQ(Find<QComboBox>("Combo2")->currentText(), "15");
  EXPECT_TRUE(Find<QComboBox>("Combo2")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("cmdLog_0")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("cmdLog_1")->isEnabled());
}

TEST_F(SetupDialogTest, SaveAppliesEverythingAndRestartsTheListener) {
  const quint16 port = FreeListenPort();
  ASSERT_NE(port, 0);
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
  EXPECT_EQ(s.RunMinimized, 1);
  EXPECT_EQ(s.EncryptionEnabled, 0);
  EXPECT_EQ(s.AllowMultipleLogons, 0);
  EXPECT_EQ(s.RefreshRate, 25);
  EXPECT_EQ(s.InactivityLimit, 45);
  EXPECT_EQ(server_->Slots().Slot(7).session.IdleMinutes, 0);  // counting starts afresh
  const PublishedList expected = {
      {"a.db", "/data/a.db"}, {"b.mdb", "/data/b.mdb"}, {"c.sqlite", "/data/c.sqlite"}};
  EXPECT_EQ(server_->CatalogueLists().published, expected);
  EXPECT_EQ(StoredUsers(), (QList<UserRecord>{{"BOB", "PW2", "23456789"}}));
  EXPECT_TRUE(QFile::exists(dir_.filePath("config/autostart/corvane-server.desktop")));
  EXPECT_EQ(server_->Slots().ListenerState(), kListening);
  EXPECT_EQ(server_->Slots().ListenerPort(), port);
  // The settings files wait for the exit.
  EXPECT_FALSE(QFile::exists(dir_.filePath("network.dat")));
  EXPECT_FALSE(QFile::exists(dir_.filePath("general.dat")));
}

TEST_F(SetupDialogTest, CancelAndTheCloseBoxKeepTheStoreButRestartTheListener) {
  Configure([](ServerSettings& s) { s.ListenPort = static_cast<int16_t>(FreeListenPort()); });
  for (bool closeBox : {false, true}) {
    SetupDialog& dialog = OpenDialog();
    dialog.show();
    SelectUser(1);
    PressKey(Users(), Qt::Key_Delete);
    ASSERT_EQ(UserList().Count(), 1);
    Type(Find<QLineEdit>("txtPort"), "999");
    if (closeBox) {
      dialog.close();
    } else {
      Click("cmdSetup_1");
    }
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
  EXPECT_EQ(prompts_.boxes[0].title, "Corvane Database");
  EXPECT_EQ(prompts_.boxes[0].icon, OperatorPrompts::Icon::Critical);
  EXPECT_EQ(Databases()->topLevelItemCount(), 2);

  PressKey(Databases(), Qt::Key_Delete);
  ASSERT_EQ(Databases()->topLevelItemCount(), 1);
  EXPECT_EQ(Databases()->topLevelItem(0)->text(0), "a.db");

  SelectUser(0);
  prompts_.answers = {false};
  PressKey(Users(), Qt::Key_Delete);
  EXPECT_EQ(prompts_.boxes.back().text,
            "User ANN will be permanently removed.\r\rAre you sure you want to continue?");
  EXPECT_EQ(UserList().Count(), 2);

  // An empty list asks nothing.
  Databases()->clear();
  const size_t asked = prompts_.boxes.size();
  PressKey(Databases(), Qt::Key_Delete);
  EXPECT_EQ(prompts_.boxes.size(), asked);
}

TEST_F(SetupDialogTest, LogButtonsFollowKeepLogFileAndClearAsks) {
  Configure([](ServerSettings& s) { s.KeepLogFile = 0; });
  OpenDialog();
  auto* view = Find<QPushButton>("cmdLog_0");
  auto* clear = Find<QPushButton>("cmdLog_1");
  EXPECT_FALSE(view->isEnabled());
  EXPECT_FALSE(clear->isEnabled());
  Check(2)->click();
  EXPECT_TRUE(view->isEnabled());
  EXPECT_TRUE(clear->isEnabled());

  const QString log = server_->LogFilePath();
  {
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Server Started\r\n");
  }
  prompts_.answers = {false, true};
  clear->click();
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].text, "Are you sure you want to clear the log file?          ");
  EXPECT_EQ(prompts_.boxes[0].title, "Clear Log File");
  EXPECT_EQ(prompts_.boxes[0].icon, OperatorPrompts::Icon::Question);
  EXPECT_EQ(QFileInfo(log).size(), 16);
  clear->click();
  EXPECT_EQ(QFileInfo(log).size(), 0);
  // Topmost again once the question is answered.
  EXPECT_TRUE(dialog_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

  Check(2)->click();
  EXPECT_FALSE(view->isEnabled());
  EXPECT_FALSE(clear->isEnabled());
}

TEST_F(SetupDialogTest, MinutesFollowDisconnectOnInactivityAndSaveZeroWhenOff) {
  Configure([](ServerSettings& s) { s.InactivityLimit = 0; });
  OpenDialog();
  auto* minutes = Find<QComboBox>("Combo2");
  auto* label = Find<QLabel>("lblMins");
  EXPECT_FALSE(Check(5)->isChecked());
  EXPECT_FALSE(minutes->isEnabled());
  EXPECT_FALSE(label->isEnabled());
  Check(5)->click();
  EXPECT_TRUE(minutes->isEnabled());
  EXPECT_TRUE(label->isEnabled());
  minutes->setEditText("30");
  Check(5)->click();
  EXPECT_FALSE(minutes->isEnabled());
  Click("cmdSetup_0");
  EXPECT_EQ(server_->Settings().InactivityLimit, 0);
}

TEST_F(SetupDialogTest, TextsWithoutALeadingNumberSaveZero) {
  OpenDialog();
  Find<QComboBox>("Combo1")->setEditText("fast");
  Find<QComboBox>("Combo2")->setEditText("x15");
  Type(Find<QLineEdit>("txtPort"), "none");
  Click("cmdSetup_0");
  EXPECT_EQ(server_->Settings().RefreshRate, 0);
  EXPECT_EQ(server_->Settings().InactivityLimit, 0);
  EXPECT_EQ(server_->Settings().ListenPort, 0);
}

TEST_F(SetupDialogTest, PortOutsideTheSettingsRangeKeepsTheOldPort) {
  OpenDialog();
  Type(Find<QLineEdit>("txtPort"), "40000");
  Click("cmdSetup_0");
  EXPECT_EQ(server_->Settings().ListenPort, 4321);
}

TEST_F(SetupDialogTest, BrowseAddsTheChosenFileAndRemembersItsFolder) {
  QFile file(dir_.filePath("shop.sqlite"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  SetupDialog& dialog = OpenDialog();
  dialog.show();
  QString title;
  QStringList filters;
  QTimer::singleShot(0, [&] {
    auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(chooser, nullptr);
    title = chooser->windowTitle();
    filters = chooser->nameFilters();
    chooser->selectFile(file.fileName());
    QMetaObject::invokeMethod(chooser, "accept");
  });
  Click("cmdBrowse");
  EXPECT_EQ(title, "Choose a database");
  EXPECT_EQ(filters, PublishableDatabaseFilters());
  ASSERT_EQ(Databases()->topLevelItemCount(), 3);
  EXPECT_EQ(Databases()->topLevelItem(2)->text(0), "shop.sqlite");
  EXPECT_EQ(Databases()->topLevelItem(2)->text(1), file.fileName());
  EXPECT_EQ(QDir(dialog.LastBrowseFolder()), QDir(dir_.path()));
  EXPECT_EQ(dialog.focusWidget(), Find<QLineEdit>("Text1"));
}

TEST_F(SetupDialogTest, TabsFocusTheirFirstControlAndF1AsksForHelp) {
  SetupDialog& dialog = OpenDialog();
  dialog.show();
  dialog.SelectTab(SetupDialog::kNetworkTab);
  EXPECT_EQ(dialog.focusWidget(), Find<QLineEdit>("txtPort"));
  dialog.SelectTab(SetupDialog::kUsersTab);
  EXPECT_EQ(dialog.focusWidget(), Users());

  int help = 0;
  QObject::connect(&dialog, &SetupDialog::HelpRequested, [&] { ++help; });
  PressKey(Users(), Qt::Key_F1);  // from whichever control has the focus
  PressKey(Find<QLineEdit>("txtPort"), Qt::Key_F1);
  EXPECT_EQ(help, 2);
  EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(dialog.isVisible());
}

TEST(SetupNumbers, LeadingNumbersRoundHalfToEvenAndMustFit) {
  EXPECT_EQ(LeadingInt16("1234.5"), 1234);
  EXPECT_EQ(LeadingInt16("1235.5"), 1236);
  EXPECT_EQ(LeadingInt16(" 80 http"), 80);
  EXPECT_EQ(LeadingInt16("32767.5"), std::nullopt);
  EXPECT_EQ(LeadingInt16("-32768.5"), -32768);
  EXPECT_EQ(LeadingInt32("1E10"), std::nullopt);
  EXPECT_EQ(LeadingInt32("2147483647"), 2147483647);
}

TEST(SetupBrowse, OffersSqliteFirstThenAccessAndListsNameAndPath) {
  const QStringList filters = PublishableDatabaseFilters();
  ASSERT_EQ(filters.size(), 2);
  EXPECT_TRUE(filters[0].contains("*.sqlite3"));
  EXPECT_TRUE(filters[1].contains("*.mdb") && filters[1].contains("*.accdb"));

  QTreeWidget list;
  EXPECT_EQ(AddBrowsedDatabase(&list, "/x/shop.mdb"), 0);
  EXPECT_EQ(AddBrowsedDatabase(&list, "/x/shop.mdb"), 1);  // twice is allowed
  EXPECT_EQ(AddBrowsedDatabase(&list, ""), -1);
  ASSERT_EQ(list.topLevelItemCount(), 2);
  EXPECT_EQ(list.topLevelItem(1)->text(0), "shop.mdb");
  EXPECT_EQ(list.topLevelItem(1)->text(1), "/x/shop.mdb");
}

}  // namespace
}  // namespace corvane::test

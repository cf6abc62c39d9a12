// The setup dialog: what Save applies to the running server, what Cancel keeps, and how
// its controls, its lists and its file chooser answer the operator.
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

#include "config/web_settings_file.h"
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
          s.EncryptionEnabled = 1;
          s.InactivityLimit = 15;
        },
        PublishedList{{"a.db", "/data/a.db"}, {"b.db", "/data/b.db"}});
  }
  void TearDown() override {
    OnServer([](ServerInstance& server) { server.Slots().CloseListener(); });
  }
  int ListenerState() {
    int state = -1;
    OnServer([&state](ServerInstance& server) { state = server.Slots().ListenerState(); });
    return state;
  }

  // Picks the file in the file-open dialog that "Browse" opens.
  void BrowseTo(const QString& path) {
    QTimer::singleShot(0, [path] {
      auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(chooser, nullptr);
      chooser->selectNameFilter(chooser->nameFilters().value(path.endsWith(".mdb") ? 1 : 0));
      chooser->selectFile(path);
      QMetaObject::invokeMethod(chooser, "accept");
    });
    Click("cmdBrowse");
  }
};

TEST_F(SetupDialogTest, SaveAppliesEverythingAndRestartsTheListenerAndWebAccess) {
  const quint16 port = FreeListenPort();
  const quint16 webPort = FreeListenPort();
  SetupDialog& dialog = OpenDialog();
  // A dialog of fixed size offers no maximize button, and stays above other windows.
  EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::CustomizeWindowHint));
  EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(UserList().At(1), (UserRecord{"BOB", "PW2", "23456789"}));
  EXPECT_EQ(Find<QComboBox>("Combo1")->currentText(), "10");
  // The check runs once the users are written.
  struct CheckSeen : DatabaseCheckProgress {
    std::function<void()> seen;
    void ShowHeading(const QString&) override { seen(); }
    void ShowDatabase(const QString&) override {}
    void ShowObject(const QString&) override {}
    void Close() override {}
  } check;
  QList<QList<UserRecord>> storedAtCheck;
  check.seen = [&] { storedAtCheck << StoredUsers(); };
  server_->SetDatabaseCheckProgress(&check);
  dialog.show();
  Type(Find<QLineEdit>("txtPort"), QString::number(port));
  Type(Find<QLineEdit>("txtWebPort"), QString::number(webPort));
  Check(0)->setChecked(true);
  Check(3)->setChecked(false);
  Find<QComboBox>("Combo2")->setEditText("45");
  OnServer([](ServerInstance& server) {
    for (int minute = 0; minute < 9; ++minute) server.Slots().Slot(7).CountIdleMinute();
  });
  SelectUser(0);
  PressKey(Users(), Qt::Key_Delete);  // ANN goes, answered OK

  Click("cmdSetup_0");
  EXPECT_FALSE(dialog.isVisible());
  ASSERT_TRUE(WaitUntil([&] { return finished_ == 1; }, kServerWaitMs));
  server_->SetDatabaseCheckProgress(nullptr);
  ASSERT_EQ(storedAtCheck.size(), 2);  // the table pass and the query pass
  EXPECT_EQ(storedAtCheck[0], (QList<UserRecord>{{"BOB", "PW2", "23456789"}}));
  const ServerSettings& s = server_->Settings();
  EXPECT_EQ(s.ListenPort, port);
  EXPECT_EQ(s.RunAtStartup, 1);
  EXPECT_EQ(s.RunMinimized, 1);
  EXPECT_EQ(s.EncryptionEnabled, 0);
  EXPECT_EQ(s.RefreshRate, 10);
  EXPECT_EQ(s.InactivityLimit, 45);
  int idle = -1;
  quint16 listening = 0;
  quint16 web = 0;
  OnServer([&](ServerInstance& server) {
    idle = server.Slots().Slot(7).session().IdleMinutes;
    if (server.Slots().ListenerState() == kListening) listening = server.Slots().ListenerPort();
    if (server.Web()) web = server.Web()->Port();
  });
  EXPECT_EQ(idle, 0);  // counting starts afresh
  EXPECT_EQ(StoredUsers(), (QList<UserRecord>{{"BOB", "PW2", "23456789"}}));
  EXPECT_TRUE(QFile::exists(dir_.filePath("config/autostart/corvane-server.desktop")));
  EXPECT_EQ(listening, port);
  EXPECT_EQ(web, webPort);
  // The settings files are written at once, so no way of ending the program loses them.
  ServerSettings loaded;
  SettingsFiles files(dir_.path());
  EXPECT_TRUE(files.LoadNetworkSettings(loaded));
  EXPECT_EQ(loaded.ListenPort, port);
  files.LoadGeneralSettings(loaded);
  EXPECT_EQ(loaded.InactivityLimit, 45);
  EXPECT_TRUE(WebSettingsFile(dir_.path()).Load(loaded));
  EXPECT_EQ(loaded.WebPort, webPort);
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
    EXPECT_EQ(ListenerState(), kListening) << closeBox;
    OnServer([](ServerInstance& server) { server.Slots().CloseListener(); });
  }
  EXPECT_EQ(finished_, 2);
}

TEST_F(SetupDialogTest, DeleteAndClearAskFirstAndTheLogButtonsAndMinutesFollowTheirBoxes) {
  Configure([](ServerSettings& s) { s.InactivityLimit = 0; });
  OpenDialog();
  Databases()->setCurrentItem(Databases()->topLevelItem(1));
  prompts_.answers = {false};
  PressKey(Databases(), Qt::Key_Delete);
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].text,
            "Database b.db will be permanently removed.\r\rAre you sure you want to continue?");
  EXPECT_EQ(Databases()->topLevelItemCount(), 2);
  PressKey(Databases(), Qt::Key_Delete);
  EXPECT_EQ(Databases()->topLevelItemCount(), 1);
  SelectUser(0);
  prompts_.answers = {false};
  PressKey(Users(), Qt::Key_Delete);
  EXPECT_TRUE(prompts_.boxes.back().text.startsWith("User ANN will be permanently removed."));
  EXPECT_EQ(UserList().Count(), 2);
  prompts_.boxes.clear();
  auto* clear = Find<QPushButton>("cmdLog_1");
  auto* minutes = Find<QComboBox>("Combo2");
  EXPECT_FALSE(clear->isEnabled());
  EXPECT_FALSE(minutes->isEnabled());
  Check(2)->click();
  Check(5)->click();
  EXPECT_TRUE(clear->isEnabled());
  EXPECT_TRUE(minutes->isEnabled());
  // Clearing the log asks first; the dialog stays topmost, its question above it.
  ASSERT_TRUE(WriteFileBytes(server_->LogFilePath(), "Server Started\r\n"));
  prompts_.answers = {false, true};
  clear->click();
  EXPECT_EQ(QFileInfo(server_->LogFilePath()).size(), 16);
  clear->click();
  ASSERT_TRUE(
      WaitUntil([&] { return QFileInfo(server_->LogFilePath()).size() == 0; }, kServerWaitMs));
  EXPECT_EQ(prompts_.boxes.size(), 2u);
  EXPECT_TRUE(dialog_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  // Minutes typed while the box is checked are saved as 0 once it is unchecked.
  minutes->setEditText("30");
  Check(5)->click();
  Save();
  EXPECT_EQ(server_->Settings().InactivityLimit, 0);
  // A limit of no minutes or fewer is "never" too, and the box says so next time.
  OpenDialog();
  Check(5)->click();
  Find<QComboBox>("Combo2")->setEditText("-5");
  Save();
  EXPECT_EQ(server_->Settings().InactivityLimit, 0);
  OpenDialog();
  EXPECT_FALSE(Check(5)->isChecked());
}

TEST_F(SetupDialogTest, BrowseListsAnSqliteFileAndImportsAnAccessFileOnce) {
  SKIP_WITHOUT_FIXTURES();
  ASSERT_TRUE(QDir().mkpath(dir_.filePath("sources")));
  const QString sqlite = dir_.filePath("sources/shop.sqlite");
  const QString broken = dir_.filePath("sources/Broken.mdb");
  const QString mdb = dir_.filePath("sources/Unicode.mdb");
  ASSERT_TRUE(WriteFileBytes(sqlite, "") && WriteFileBytes(broken, QByteArray(8192, '\x11')));
  ASSERT_TRUE(QFile::copy(Fixture("testUnicodeCompV2003.mdb"), mdb));
  Configure([](ServerSettings& s) { s.ListenPort = static_cast<int16_t>(FreeListenPort()); },
            PublishedList{});
  SetupDialog& dialog = OpenDialog();
  dialog.show();
  BrowseTo(sqlite);
  ASSERT_EQ(Databases()->topLevelItemCount(), 1);
  EXPECT_EQ(Databases()->topLevelItem(0)->text(0), "shop.sqlite");
  EXPECT_EQ(QDir(dialog.LastBrowseFolder()), QDir(dir_.filePath("sources")));
  EXPECT_TRUE(prompts_.boxes.empty());

  BrowseTo(broken);
  ASSERT_TRUE(WaitUntil([&] { return prompts_.boxes.size() == 1; }, kServerWaitMs));
  EXPECT_TRUE(prompts_.boxes[0].text.startsWith("Database Error: Broken.mdb\r\r"));
  EXPECT_TRUE(prompts_.boxes[0].text.contains("not a Microsoft Access database"));
  EXPECT_EQ(Databases()->topLevelItemCount(), 1);

  BrowseTo(mdb);
  ASSERT_TRUE(WaitUntil([&] { return prompts_.boxes.size() == 2; }, kServerWaitMs));
  EXPECT_TRUE(prompts_.boxes[1].text.startsWith(
      "Imported 1 table (8 rows) and 0 queries.\rTable Table: 8 rows"))
      << prompts_.boxes[1].text.toStdString();
  ASSERT_EQ(Databases()->topLevelItemCount(), 2);
  EXPECT_EQ(Databases()->topLevelItem(1)->text(1), mdb);
  delete Databases()->takeTopLevelItem(0);  // the empty SQLite file has nothing to check
  Save();
  Catalogue catalogue;
  int rows = 0;
  OnServer([&](ServerInstance& server) {
    catalogue = server.CatalogueLists();
    rows = server.ActivityRows().rowCount();
  });
  ASSERT_EQ(catalogue.published.size(), 1u);
  EXPECT_EQ(catalogue.published[0].location, mdb);
  EXPECT_EQ(QFileInfo(catalogue.published[0].servedLocation).absolutePath(),
            dir_.filePath("databases"));
  EXPECT_EQ(catalogue.tableLists, (std::vector<QStringList>{{"Table"}}));
  EXPECT_EQ(prompts_.boxes.size(), 2u);  // not imported again
  EXPECT_EQ(rows, 1);
}

}  // namespace
}  // namespace corvane::test

// A process killed with SIGKILL at random moments while it saves the setup over and over
// (the settings files, then the users, as the setup dialog's Save does): afterwards every
// settings file reads back whole as one of the setups written, and the user store is sound
// with every user readable.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <random>

#include "config/registry_store.h"
#include "config/settings_files.h"
#include "config/user_list_model.h"
#include "config/user_store.h"
#include "support/file_bytes.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

struct SavedSetup {
  int16_t port;
  int32_t refreshRate;
  PublishedList published;
  QList<UserRecord> users;
};

void SaveSetup(const QString& dir, const SavedSetup& setup) {
  SettingsFiles files(dir);
  ServerSettings settings;
  settings.ListenPort = setup.port;
  settings.RefreshRate = setup.refreshRate;
  files.SaveDatabaseList(setup.published);
  files.SaveGeneralSettings(settings);
  files.SaveNetworkSettings(settings);
  RegistryStore registry(dir);
  UserStore store(registry, dir);
  UserListModel users;
  for (const UserRecord& user : setup.users) users.Append(user);
  store.SaveUsers(users);
  store.RemoveStaleUsers(users);
}

TEST(SetupSaveKillTest, SettingsFilesAndUserStoreSurviveSigkillDuringSaves) {
  QTemporaryDir temp;
  ASSERT_TRUE(temp.isValid());
  const QString dir = temp.path();
  for (const char* name : {"/x.db", "/y.db"}) {
    ASSERT_TRUE(WriteFileBytes(dir + QLatin1String(name), "stand-in"));
  }
  // Two setups that differ in every file; ALICE is in both.
  const SavedSetup a{5000,
                     5,
                     {{"First", dir + "/x.db"}},
                     {{"ALICE", "pa", "11111111"}, {"BOB", "pb", "22222222"}}};
  const SavedSetup b{6000,
                     9,
                     {{"First", dir + "/x.db"}, {"Second", dir + "/y.db"}},
                     {{"ALICE", "pa", "11111111"}, {"CAROL", "pc", "33333333"}}};
  SaveSetup(dir, a);

  std::mt19937 random(11);
  constexpr int kKills = 25;
  for (int kill_round = 0; kill_round < kKills; ++kill_round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (unsigned round = 1;; ++round) SaveSetup(dir, round % 2 ? b : a);
    }
    usleep(std::uniform_int_distribution<useconds_t>(2'000, 60'000)(random));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saving process ended by itself";

    // Each file is whole: one setup's or the other's, never a mixture or a stub.
    SettingsFiles files(dir);
    ServerSettings settings;
    ASSERT_TRUE(files.LoadNetworkSettings(settings)) << kill_round;
    EXPECT_TRUE(settings.ListenPort == a.port || settings.ListenPort == b.port) << kill_round;
    files.LoadGeneralSettings(settings);
    EXPECT_TRUE(settings.RefreshRate == a.refreshRate || settings.RefreshRate == b.refreshRate)
        << kill_round;
    PublishedList published;
    ASSERT_TRUE(files.LoadDatabaseList(published)) << kill_round;
    EXPECT_TRUE(published == a.published || published == b.published) << kill_round;

    // The store is sound; ALICE, in both setups, is always there and readable; nobody
    // else appears than the setups' users.
    EXPECT_EQ(QueryOnFile(dir + "/registry.db", "PRAGMA integrity_check").toString(), "ok");
    RegistryStore registry(dir);
    UserStore store(registry, dir);
    UserListModel users;
    store.LoadUsers(users);
    bool alice = false;
    for (const UserRecord& user : users.Users()) {
      const bool known = user == a.users[0] || user == a.users[1] || user == b.users[1];
      EXPECT_TRUE(known) << kill_round << " " << user.name.toStdString();
      alice = alice || user.name == "ALICE";
    }
    EXPECT_TRUE(alice) << kill_round;
  }
}

}  // namespace
}  // namespace corvane::test

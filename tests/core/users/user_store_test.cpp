#include "config/user_store.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include "base/windows1252.h"
#include "config/registry_store.h"
#include "config/store_scramble.h"
#include "config/user_list_model.h"

namespace corvane::test {
namespace {

const QByteArray UserKey(UserKeyPath);

class UserStoreTest : public ::testing::Test {
 protected:
  AutostartPlaces Places() const {
    return {dir_.filePath("bin/corvane-server"), dir_.filePath("bin"), dir_.filePath("autostart")};
  }

  void Save(const QList<UserRecord>& users) {
    UserListModel list;
    for (const UserRecord& user : users) list.Append(user);
    store_.SaveUsers(list);
    store_.RemoveStaleUsers(list);
  }

  QList<UserRecord> Load() {
    UserListModel list;
    store_.LoadUsers(list);
    return list.Users();
  }

  QStringList LoadedNames() {
    QStringList names;
    for (const UserRecord& user : Load()) names.append(user.name);
    return names;
  }

  // Writes a value as a store of another make might have left it.
  void PutRaw(const QByteArray& name, const QByteArray& data) {
    ASSERT_TRUE(registry_.CreateKey(UserKey));
    ASSERT_TRUE(registry_.SetValue(UserKey, StoreScramble(name), data));
  }

  void PutLegacySlot(int slot, const QByteArray& name, const QByteArray& password,
                     const QByteArray& key) {
    const QByteArray path = QByteArray(LegacySlotKeyPrefix) + QByteArray::number(slot);
    ASSERT_TRUE(registry_.CreateKey(path));
    ASSERT_TRUE(registry_.SetValue(path, "K1", StoreScramble(name)));
    ASSERT_TRUE(registry_.SetValue(path, "K2", StoreScramble(password)));
    ASSERT_TRUE(registry_.SetValue(path, "K4", StoreScramble(key)));
  }

  QTemporaryDir dir_;
  RegistryStore registry_{dir_.path()};
  UserStore store_{registry_, AutostartEntry(dir_.path(), Places())};
};

TEST_F(UserStoreTest, WithoutTheUserKeyNothingIsFoundAndNothingIsCreated) {
  UserListModel list;
  list.Append({"STALE", "X", "1"});
  EXPECT_FALSE(store_.HasUsers());
  EXPECT_FALSE(store_.LoadUsers(list));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(store_.UserExists("BOB"));
  EXPECT_FALSE(store_.UserExists(""));
  EXPECT_FALSE(store_.ReadStoredRecord("BOB"));
  EXPECT_FALSE(store_.FindLogonUser("BOB"));
  EXPECT_FALSE(store_.DeleteUser("BOB"));
  store_.RemoveStaleUsers(list);
  EXPECT_FALSE(QFileInfo::exists(registry_.FilePath()));
}

TEST_F(UserStoreTest, RecordIsStoredAsOneScrambledValue) {
  Save({{"BOB", "SECRET", "12345678"}});
  EXPECT_EQ(registry_.ValueNames(UserKey), QList<QByteArray>{StoreScramble("BOB")});
  EXPECT_EQ(registry_.QueryValue(UserKey, StoreScramble("BOB"), 15),
            StoreScramble("SECRET:12345678"));
  EXPECT_EQ(Load(), (QList<UserRecord>{{"BOB", "SECRET", "12345678"}}));
  EXPECT_TRUE(store_.HasUsers());
  EXPECT_EQ(store_.ReadStoredRecord("BOB"), QByteArray("SECRET:12345678"));
  EXPECT_EQ(store_.FindLogonUser("bob"), (LogonRecord{"SECRET", {12345678}}));
}

TEST_F(UserStoreTest, LookupsUpperCaseTheNameButDeletionAndTheStoreDoNot) {
  Save({{"BOB", "PW", "11111111"}});
  EXPECT_TRUE(store_.UserExists("bob"));
  EXPECT_TRUE(store_.UserExists("Bob"));
  EXPECT_EQ(store_.ReadStoredRecord("bob"), QByteArray("PW:11111111"));
  EXPECT_FALSE(store_.UserExists(" BOB"));  // the caller trims
  EXPECT_TRUE(store_.DeleteUser("bob"));    // the key opened; nothing matched
  EXPECT_TRUE(store_.UserExists("BOB"));
  EXPECT_TRUE(store_.DeleteUser("BOB"));
  EXPECT_FALSE(store_.UserExists("BOB"));
  // A name stored in lower case is listed but not found by the lookups.
  Save({{"alice", "PW", "22222222"}});
  EXPECT_FALSE(store_.UserExists("alice"));
  EXPECT_FALSE(store_.ReadStoredRecord("alice"));
  EXPECT_EQ(LoadedNames(), QStringList{"alice"});
}

TEST_F(UserStoreTest, LogonLookupUpperCasesWithinTheCodePageAndSplitsTheRecord) {
  Save({{QStringLiteral("JOS\u00c9"), "PW", "33333333"},
        {QStringLiteral("\u00b5SER"), QStringLiteral("\u00b5PW"), "44444444"}});
  EXPECT_EQ(registry_.ValueNames(UserKey)->first(), StoreScramble("JOS\xc9"));
  EXPECT_EQ(store_.FindLogonUser(FromWindows1252("jos\xe9")), (LogonRecord{"PW", {33333333}}));
  // The micro sign has no upper case in the code page: the name is found as typed.
  EXPECT_EQ(store_.FindLogonUser(FromWindows1252("\xb5ser")),
            (LogonRecord{QStringLiteral("\u00b5PW"), {44444444}}));
  EXPECT_TRUE(store_.UserExists(QStringLiteral("\u00b5ser")));
  EXPECT_FALSE(store_.FindLogonUser("?SER"));
  EXPECT_FALSE(store_.FindLogonUser(FromWindows1252("\xb5SER ")));
}

TEST_F(UserStoreTest, RemovingNeighboursRemovesBoth) {
  Save({{"A", "1", "1"}, {"B", "2", "2"}, {"C", "3", "3"}, {"D", "4", "4"}});
  Save({{"A", "1", "1"}, {"D", "4", "4"}});
  EXPECT_EQ(LoadedNames(), (QStringList{"A", "D"}));
  Save({{"D", "4", "4"}});
  EXPECT_EQ(LoadedNames(), QStringList{"D"});
}

TEST_F(UserStoreTest, SavingAnEmptyListRemovesEveryUserButCreatesNoKey) {
  store_.SaveUsers(UserListModel());
  EXPECT_FALSE(registry_.KeyExists(UserKey));
  Save({{"A", "1", "1"}, {"B", "2", "2"}});
  Save({});
  EXPECT_FALSE(store_.HasUsers());
  UserListModel list;
  EXPECT_FALSE(store_.LoadUsers(list));
  EXPECT_TRUE(registry_.KeyExists(UserKey));
}

TEST_F(UserStoreTest, SavingEditsInPlaceAndKeepsTheOrder) {
  Save({{"A", "1", "11111111"}, {"B", "2", "22222222"}});
  Save({{"B", "2", "22222222"}, {"A", "NEW", "11111111"}});
  EXPECT_EQ(Load(), (QList<UserRecord>{{"A", "NEW", "11111111"}, {"B", "2", "22222222"}}));
}

TEST_F(UserStoreTest, NamesOutsideTheCodePageSurviveTheStaleSweep) {
  // The name is stored with '?' for the Greek letter; the sweep that follows the save
  // must recognise it as listed rather than delete it.
  Save({{QStringLiteral("\u03a9MEGA"), "PW", "44444444"}});
  EXPECT_EQ(LoadedNames(), QStringList{"?MEGA"});
}

TEST_F(UserStoreTest, RecordsWithoutColonOrFillingTheBuffer) {
  PutRaw("BOB", StoreScramble("NOCOLON"));
  PutRaw("FULL", QByteArray(255, 'x'));  // no room left for a NUL: reads empty
  PutRaw("LONG", QByteArray(256, 'x'));  // too long for the buffer: reads as absent
  EXPECT_EQ(Load(), (QList<UserRecord>{{"BOB", "", ""}, {"FULL", "", ""}, {"LONG", "", ""}}));
  EXPECT_EQ(store_.ReadStoredRecord("BOB"), QByteArray("NOCOLON"));
  EXPECT_EQ(store_.FindLogonUser("BOB"), (LogonRecord{"", {0, KeyNumberFault::kNotANumber}}));
  EXPECT_TRUE(store_.UserExists("FULL"));
  EXPECT_EQ(store_.ReadStoredRecord("FULL"), QByteArray());
  EXPECT_EQ(store_.FindLogonUser("FULL"), (LogonRecord{"", {0, KeyNumberFault::kNotANumber}}));
  EXPECT_FALSE(store_.UserExists("LONG"));
  EXPECT_FALSE(store_.ReadStoredRecord("LONG"));
  EXPECT_FALSE(store_.FindLogonUser("LONG"));
}

class LegacyImportTest : public UserStoreTest {
 protected:
  void SetUp() override {
    PutLegacySlot(1, "ANN", "PW1", "11111111");
    PutLegacySlot(2, "carol", "pw2", "22222222");
    PutLegacySlot(3, "Available", "", "");
    PutLegacySlot(4, "DAN", "PW4", "44444444");
    PutLegacySlot(5, "EVE", "PW5", "55555555");
  }
};

TEST_F(LegacyImportTest, FirstCheckImportsTheUsedSlotsOnceAndDeletesAllSlotKeys) {
  ASSERT_TRUE(store_.LegacyUsersPresent());
  EXPECT_TRUE(store_.HasUsers());
  EXPECT_EQ(Load(), (QList<UserRecord>{{"ANN", "PW1", "11111111"},
                                       {"carol", "pw2", "22222222"},
                                       {"DAN", "PW4", "44444444"},
                                       {"EVE", "PW5", "55555555"}}));
  for (int slot = 1; slot <= 5; ++slot) {
    EXPECT_FALSE(registry_.KeyExists(QByteArray(LegacySlotKeyPrefix) + QByteArray::number(slot)));
  }
  EXPECT_TRUE(registry_.KeyExists(MorvatKeyPath));
  EXPECT_FALSE(store_.LegacyUsersPresent());
  // A lower-case legacy name is kept but not found at logon.
  EXPECT_FALSE(store_.ReadStoredRecord("carol"));
  EXPECT_EQ(store_.ReadStoredRecord("ann"), QByteArray("PW1:11111111"));
  // The import runs once: users removed after it stay removed.
  Save({{"ANN", "PW1", "11111111"}});
  EXPECT_TRUE(store_.HasUsers());
  EXPECT_EQ(LoadedNames(), QStringList{"ANN"});
}

TEST_F(LegacyImportTest, ImportOverwritesAUserOfTheSameNameInPlace) {
  Save({{"DAN", "OLD", "99999999"}, {"ZED", "Z", "1"}});
  ASSERT_TRUE(store_.HasUsers());
  const QList<UserRecord> users = Load();
  ASSERT_EQ(users.size(), 5);
  EXPECT_EQ(users[0], (UserRecord{"DAN", "PW4", "44444444"}));
  EXPECT_EQ(users[1].name, "ZED");
}

TEST_F(UserStoreTest, NextPrivateKeyIsEmptyUntilRenewedAndRunAtStartupIsTheAutostartEntry) {
  EXPECT_TRUE(store_.NextPrivateKey().isEmpty());
  store_.RenewNextPrivateKey();
  EXPECT_EQ(store_.NextPrivateKey().size(), 8);
  const QString entry = dir_.filePath("autostart/corvane-server.desktop");
  store_.SetRunAtStartup(true);
  EXPECT_TRUE(QFileInfo::exists(entry));
  store_.SetRunAtStartup(false);
  EXPECT_FALSE(QFileInfo::exists(entry));
}

}  // namespace
}  // namespace corvane::test

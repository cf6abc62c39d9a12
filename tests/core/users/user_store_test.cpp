// The users in the store: the registry-like file behind them, users saved as the setup
// saves them and found as the logon finds them, and the legacy slots imported once.
#include "config/user_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include "base/windows1252.h"
#include "config/registry_store.h"
#include "config/user_list_model.h"
#include "users/store_scramble.h"

namespace corvane::test {
namespace {

const QByteArray Key("Software\\Morvat\\U1");

class RegistryStoreTest : public ::testing::Test {
 protected:
  QList<QByteArray> Names(const QByteArray& key) const {
    return registry_.ValueNames(key).value_or(QList<QByteArray>{"<no key>"});
  }

  QTemporaryDir dir_;
  RegistryStore registry_{dir_.path()};
};

TEST(RegistryStoreFile, IsTheOwnersOnlyWhateverTheUmask) {
  for (mode_t mask : {0000, 0277}) {
    QTemporaryDir dir;
    RegistryStore registry(dir.path());
    const mode_t previous = ::umask(mask);
    const bool created = registry.CreateKey(Key);
    ::umask(previous);
    ASSERT_TRUE(created) << mask;
    EXPECT_TRUE(registry.SetValue(Key, "a", "b")) << mask;
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(registry.FilePath()).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << mask;
  }
}

TEST_F(RegistryStoreTest, NamesAndDataAreBytesReadIntoAFixedBuffer) {
  ASSERT_TRUE(registry_.CreateKey(Key));
  const QByteArray name("a'\0\"\xff;--", 8);
  const QByteArray data("\0\x01\x80\xff:'", 6);
  ASSERT_TRUE(registry_.SetValue(Key, name, data));
  ASSERT_TRUE(registry_.SetValue(Key, "", "default"));
  EXPECT_EQ(registry_.QueryValue(Key, name, 6), data);
  EXPECT_EQ(Names(Key), (QList<QByteArray>{name, ""}));
  EXPECT_FALSE(registry_.QueryValue(Key, QByteArray("a'"), 255));
  // The buffer is filled up with NULs; data that does not fit fails.
  EXPECT_EQ(registry_.QueryValue(Key, "", 9), QByteArray("default\0\0", 9));
  ASSERT_TRUE(registry_.SetValue(Key, "long", QByteArray(256, 'x')));
  EXPECT_FALSE(registry_.QueryValue(Key, "long", 255));
  EXPECT_EQ(registry_.QueryValue(Key, "long", 256), QByteArray(256, 'x'));
}

const QByteArray UserKey(UserKeyPath);

class UserStoreTest : public ::testing::Test {
 protected:
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

  QTemporaryDir dir_;
  RegistryStore registry_{dir_.path()};
  UserStore store_{registry_, dir_.path()};
};

TEST_F(UserStoreTest, WithoutTheUserKeyNothingIsFoundAndNothingIsCreated) {
  UserListModel list;
  list.Append({"STALE", "X", "1"});
  EXPECT_FALSE(store_.HasUsers());
  EXPECT_FALSE(store_.LoadUsers(list));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(store_.FindLogonUser("BOB"));
  EXPECT_FALSE(store_.DeleteUser("BOB"));
  store_.RemoveStaleUsers(list);
  EXPECT_FALSE(QFileInfo::exists(registry_.FilePath()));
}

TEST_F(UserStoreTest, ARecordIsOneScrambledValueFoundByTheUpperCasedName) {
  Save({{"BOB", "SECRET", "12345678"}});
  EXPECT_EQ(registry_.ValueNames(UserKey), QList<QByteArray>{StoreScramble("BOB")});
  EXPECT_EQ(registry_.QueryValue(UserKey, StoreScramble("BOB"), 15),
            StoreScramble("SECRET:12345678"));
  EXPECT_EQ(Load(), (QList<UserRecord>{{"BOB", "SECRET", "12345678"}}));
  EXPECT_EQ(store_.FindLogonUser("bob"), (LogonRecord{"SECRET", {12345678}}));
  EXPECT_TRUE(store_.UserExists("Bob"));
  EXPECT_FALSE(store_.UserExists(" BOB"));  // the caller trims
  // Deletion takes the name as it is stored.
  EXPECT_TRUE(store_.DeleteUser("bob"));  // the key opened; nothing matched
  EXPECT_TRUE(store_.UserExists("BOB"));
  EXPECT_TRUE(store_.DeleteUser("BOB"));
  EXPECT_FALSE(store_.UserExists("BOB"));
  // A name stored in lower case is listed but not found by the lookups.
  Save({{"alice", "PW", "22222222"}});
  EXPECT_FALSE(store_.ReadStoredRecord("alice"));
  EXPECT_EQ(LoadedNames(), QStringList{"alice"});
}

TEST_F(UserStoreTest, LogonLookupUpperCasesWithinTheCodePage) {
  Save({{QStringLiteral("\u00b5SER"), QStringLiteral("\u00b5PW"), "44444444"},
        {QStringLiteral("\u03a9MEGA"), "PW", "55555555"}});
  // The micro sign has no upper case in the code page: the name is found as typed.
  EXPECT_EQ(store_.FindLogonUser(FromWindows1252("\xb5ser")),
            (LogonRecord{QStringLiteral("\u00b5PW"), {44444444}}));
  EXPECT_FALSE(store_.FindLogonUser("?SER"));
  // A name outside the code page is stored with '?', and the sweep after the save takes
  // it for the listed one rather than deleting it.
  EXPECT_EQ(LoadedNames().last(), "?MEGA");
}

TEST_F(UserStoreTest, SavingEditsInPlaceRemovesTheUnlistedAndOddRecordsReadAsFarAsTheyCan) {
  Save({{"A", "1", "11111111"}, {"B", "2", "2"}, {"C", "3", "3"}, {"D", "4", "4"}});
  Save({{"D", "4", "4"}, {"A", "NEW", "11111111"}});
  EXPECT_EQ(Load(), (QList<UserRecord>{{"A", "NEW", "11111111"}, {"D", "4", "4"}}));
  store_.SaveUsers(UserListModel());
  Save({});
  EXPECT_FALSE(store_.HasUsers());
  EXPECT_TRUE(registry_.KeyExists(UserKey));
  // Records without a colon, or filling the buffer.
  PutRaw("BOB", StoreScramble("NOCOLON"));
  PutRaw("FULL", QByteArray(255, 'x'));  // no room left for a NUL: reads empty
  PutRaw("LONG", QByteArray(256, 'x'));  // too long for the buffer: reads as absent
  EXPECT_EQ(Load(), (QList<UserRecord>{{"BOB", "", ""}, {"FULL", "", ""}, {"LONG", "", ""}}));
  EXPECT_EQ(store_.FindLogonUser("BOB"), (LogonRecord{"", {0, KeyNumberFault::kNotANumber}}));
  EXPECT_EQ(store_.ReadStoredRecord("FULL"), QByteArray());
  EXPECT_FALSE(store_.UserExists("LONG"));
  EXPECT_FALSE(store_.FindLogonUser("LONG"));
}

class LegacyImportTest : public UserStoreTest {
 protected:
  void SetUp() override {
    const QList<QByteArrayList> slots = {{"ANN", "PW1", "11111111"},
                                         {"carol", "pw2", "22222222"},
                                         {"Available", "", ""},
                                         {"DAN", "PW4", "44444444"}};
    for (int slot = 1; slot <= slots.size(); ++slot) {
      const QByteArray path = QByteArray(LegacySlotKeyPrefix) + QByteArray::number(slot);
      ASSERT_TRUE(registry_.CreateKey(path));
      for (int k : {0, 1, 2}) {
        ASSERT_TRUE(registry_.SetValue(path, "K" + QByteArray::number(k == 2 ? 4 : k + 1),
                                       StoreScramble(slots[slot - 1][k])));
      }
    }
  }
};

TEST_F(LegacyImportTest, TheFirstCheckImportsTheUsedSlotsOnceAndDeletesEverySlot) {
  ASSERT_TRUE(store_.LegacyUsersPresent());
  EXPECT_TRUE(store_.HasUsers());
  EXPECT_EQ(Load(), (QList<UserRecord>{{"ANN", "PW1", "11111111"},
                                       {"carol", "pw2", "22222222"},
                                       {"DAN", "PW4", "44444444"}}));
  for (int slot = 1; slot <= 4; ++slot) {
    EXPECT_FALSE(registry_.KeyExists(QByteArray(LegacySlotKeyPrefix) + QByteArray::number(slot)));
  }
  EXPECT_FALSE(store_.LegacyUsersPresent());
  // The import runs once: users removed after it stay removed.
  Save({{"ANN", "PW1", "11111111"}});
  EXPECT_TRUE(store_.HasUsers());
  EXPECT_EQ(LoadedNames(), QStringList{"ANN"});
}

TEST_F(LegacyImportTest, ImportOverwritesAUserOfTheSameNameInPlace) {
  Save({{"DAN", "OLD", "99999999"}, {"ZED", "Z", "1"}});
  ASSERT_TRUE(store_.HasUsers());
  const QList<UserRecord> users = Load();
  ASSERT_EQ(users.size(), 4);
  EXPECT_EQ(users[0], (UserRecord{"DAN", "PW4", "44444444"}));
  EXPECT_EQ(users[1].name, "ZED");
}

}  // namespace
}  // namespace corvane::test

// The registry-like store behind the users: keys, ordered values and fixed buffers, in a
// file only its owner may read.
#include "config/registry_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFileInfo>
#include <QTemporaryDir>

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

TEST_F(RegistryStoreTest, WithoutAFileEveryReadFailsAndNothingIsCreated) {
  EXPECT_FALSE(registry_.KeyExists(Key));
  EXPECT_FALSE(registry_.ValueNames(Key));
  EXPECT_FALSE(registry_.QueryValue(Key, "a", 255));
  EXPECT_FALSE(registry_.SetValue(Key, "a", "b"));
  EXPECT_FALSE(registry_.DeleteKey(Key));
  EXPECT_FALSE(QFileInfo::exists(registry_.FilePath()));
}

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

TEST_F(RegistryStoreTest, KeysAreCreatedWithTheKeysAboveThemAndDeletedOnlyWhenLeaves) {
  ASSERT_TRUE(registry_.CreateKey(Key));
  EXPECT_TRUE(registry_.KeyExists("Software\\Morvat"));
  EXPECT_FALSE(registry_.KeyExists("Software\\Morvat\\P1"));
  EXPECT_TRUE(registry_.CreateKey(Key));  // an existing key is opened
  EXPECT_FALSE(registry_.CreateKey("Software\\\\Morvat"));
  EXPECT_FALSE(registry_.DeleteKey("Software\\Morvat"));     // it has a subkey
  EXPECT_FALSE(registry_.DeleteKey("Software\\Morvat\\U"));  // a prefix is no key
  const QByteArray other("Software\\Morvat\\P1");
  ASSERT_TRUE(registry_.CreateKey(other));
  ASSERT_TRUE(registry_.SetValue(Key, "K1", "user"));
  ASSERT_TRUE(registry_.SetValue(other, "K1", "legacy"));
  ASSERT_TRUE(registry_.DeleteKey(other));
  EXPECT_EQ(registry_.QueryValue(Key, "K1", 4), QByteArray("user"));
  // A key created again starts empty.
  ASSERT_TRUE(registry_.CreateKey(other));
  EXPECT_EQ(Names(other), QList<QByteArray>{});
}

TEST_F(RegistryStoreTest, ValuesKeepTheOrderTheyWereFirstWrittenIn) {
  ASSERT_TRUE(registry_.CreateKey(Key));
  for (const char* name : {"c", "a", "b"}) ASSERT_TRUE(registry_.SetValue(Key, name, "x"));
  EXPECT_EQ(Names(Key), (QList<QByteArray>{"c", "a", "b"}));
  EXPECT_EQ(registry_.EnumValueName(Key, 2), QByteArray("b"));
  EXPECT_FALSE(registry_.EnumValueName(Key, 3));
  EXPECT_FALSE(registry_.EnumValueName(Key, -1));
  // Overwriting keeps the place; a deleted value written again goes to the end.
  ASSERT_TRUE(registry_.SetValue(Key, "a", "new"));
  ASSERT_TRUE(registry_.DeleteValue(Key, "c"));
  EXPECT_FALSE(registry_.DeleteValue(Key, "c"));
  ASSERT_TRUE(registry_.SetValue(Key, "c", "x"));
  EXPECT_EQ(Names(Key), (QList<QByteArray>{"a", "b", "c"}));
  EXPECT_EQ(registry_.QueryValue(Key, "a", 3), QByteArray("new"));
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

}  // namespace
}  // namespace corvane::test

#include "config/registry_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFileInfo>
#include <QTemporaryDir>

namespace corvane::test {
namespace {

const QByteArray Key("Software\\Morvat\\U1");

QList<QByteArray> Names(const RegistryStore& registry, const QByteArray& key) {
  return registry.ValueNames(key).value_or(QList<QByteArray>{"<no key>"});
}

mode_t PermissionBits(const QString& path) {
  struct stat status {};
  EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
  return status.st_mode & 0777;
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  QTemporaryDir dir_;
  RegistryStore registry_{dir_.path()};
};

TEST_F(RegistryStoreTest, WithoutAFileEveryReadFailsAndNothingIsCreated) {
  EXPECT_FALSE(registry_.KeyExists(Key));
  EXPECT_FALSE(registry_.EnumValueName(Key, 0));
  EXPECT_FALSE(registry_.ValueNames(Key));
  EXPECT_FALSE(registry_.QueryValue(Key, "a", 255));
  EXPECT_FALSE(registry_.SetValue(Key, "a", "b"));
  EXPECT_FALSE(registry_.DeleteValue(Key, "a"));
  EXPECT_FALSE(registry_.DeleteKey(Key));
  EXPECT_FALSE(QFileInfo::exists(registry_.FilePath()));
}

TEST_F(RegistryStoreTest, FileIsOwnerOnlyWhateverTheUmask) {
  const mode_t previous = ::umask(0);
  ASSERT_TRUE(registry_.CreateKey(Key));
  ::umask(previous);
  EXPECT_EQ(PermissionBits(registry_.FilePath()), 0600u);
  EXPECT_EQ(QFileInfo(registry_.FilePath()).fileName(), "registry.db");
}

TEST_F(RegistryStoreTest, RestrictiveUmaskStillGivesAUsableStore) {
  QTemporaryDir other;
  RegistryStore registry(other.path());
  const mode_t previous = ::umask(0277);
  const bool created = registry.CreateKey(Key);
  ::umask(previous);
  ASSERT_TRUE(created);
  EXPECT_TRUE(registry.SetValue(Key, "a", "b"));
  EXPECT_EQ(PermissionBits(registry.FilePath()), 0600u);
}

TEST_F(RegistryStoreTest, CreatingAKeyCreatesTheKeysAboveIt) {
  ASSERT_TRUE(registry_.CreateKey(Key));
  EXPECT_TRUE(registry_.KeyExists(Key));
  EXPECT_TRUE(registry_.KeyExists("Software\\Morvat"));
  EXPECT_TRUE(registry_.KeyExists("Software"));
  EXPECT_FALSE(registry_.KeyExists("Software\\Morvat\\P1"));
  EXPECT_TRUE(registry_.CreateKey(Key));  // an existing key is opened
  EXPECT_FALSE(registry_.CreateKey(""));
  EXPECT_FALSE(registry_.CreateKey("Software\\\\Morvat"));
}

TEST_F(RegistryStoreTest, ValuesAreListedInTheOrderFirstWritten) {
  ASSERT_TRUE(registry_.CreateKey(Key));
  for (const char* name : {"c", "a", "b"}) ASSERT_TRUE(registry_.SetValue(Key, name, "x"));
  EXPECT_EQ(Names(registry_, Key), (QList<QByteArray>{"c", "a", "b"}));
  EXPECT_EQ(registry_.EnumValueName(Key, 0), QByteArray("c"));
  EXPECT_EQ(registry_.EnumValueName(Key, 2), QByteArray("b"));
  EXPECT_FALSE(registry_.EnumValueName(Key, 3));
  EXPECT_FALSE(registry_.EnumValueName(Key, -1));

  // Overwriting keeps the place; a deleted value written again goes to the end.
  ASSERT_TRUE(registry_.SetValue(Key, "a", "new"));
  EXPECT_EQ(Names(registry_, Key), (QList<QByteArray>{"c", "a", "b"}));
  EXPECT_EQ(registry_.QueryValue(Key, "a", 3), QByteArray("new"));
  ASSERT_TRUE(registry_.DeleteValue(Key, "c"));
  ASSERT_TRUE(registry_.SetValue(Key, "d", "x"));
  ASSERT_TRUE(registry_.SetValue(Key, "c", "x"));
  EXPECT_EQ(Names(registry_, Key), (QList<QByteArray>{"a", "b", "d", "c"}));
}

TEST_F(RegistryStoreTest, QueryFillsAFixedBufferAndFailsWhenDataDoesNotFit) {
  ASSERT_TRUE(registry_.CreateKey(Key));
  ASSERT_TRUE(registry_.SetValue(Key, "short", "abc"));
  ASSERT_TRUE(registry_.SetValue(Key, "full", QByteArray(255, 'x')));
  ASSERT_TRUE(registry_.SetValue(Key, "long", QByteArray(256, 'x')));
  EXPECT_EQ(registry_.QueryValue(Key, "short", 6), QByteArray("abc\0\0\0", 6));
  EXPECT_EQ(registry_.QueryValue(Key, "full", 255), QByteArray(255, 'x'));
  EXPECT_FALSE(registry_.QueryValue(Key, "long", 255));
  EXPECT_EQ(registry_.QueryValue(Key, "long", 256), QByteArray(256, 'x'));
  EXPECT_FALSE(registry_.QueryValue(Key, "missing", 255));
}

TEST_F(RegistryStoreTest, NamesAndDataAreBytes) {
  ASSERT_TRUE(registry_.CreateKey(Key));
  const QByteArray name("a'\0\"\xff;--", 8);
  const QByteArray data("\0\x01\x80\xff:'", 6);
  ASSERT_TRUE(registry_.SetValue(Key, name, data));
  ASSERT_TRUE(registry_.SetValue(Key, "", "default"));
  EXPECT_EQ(registry_.QueryValue(Key, name, 6), data);
  EXPECT_EQ(registry_.QueryValue(Key, "", 7), QByteArray("default"));
  EXPECT_EQ(Names(registry_, Key), (QList<QByteArray>{name, ""}));
  EXPECT_FALSE(registry_.QueryValue(Key, QByteArray("a'"), 255));
}

TEST_F(RegistryStoreTest, KeysKeepTheirValuesApart) {
  const QByteArray other("Software\\Morvat\\P1");
  ASSERT_TRUE(registry_.CreateKey(Key));
  ASSERT_TRUE(registry_.CreateKey(other));
  ASSERT_TRUE(registry_.SetValue(Key, "K1", "user"));
  ASSERT_TRUE(registry_.SetValue(other, "K1", "legacy"));
  EXPECT_EQ(registry_.QueryValue(other, "K1", 6), QByteArray("legacy"));
  ASSERT_TRUE(registry_.DeleteKey(other));
  EXPECT_FALSE(registry_.KeyExists(other));
  EXPECT_EQ(registry_.QueryValue(Key, "K1", 4), QByteArray("user"));
  // A key created again starts empty.
  ASSERT_TRUE(registry_.CreateKey(other));
  EXPECT_EQ(Names(registry_, other), QList<QByteArray>{});
}

TEST_F(RegistryStoreTest, KeyWithSubkeysOrMissingValueIsNotDeleted) {
  ASSERT_TRUE(registry_.CreateKey(Key));
  EXPECT_FALSE(registry_.DeleteKey("Software\\Morvat"));
  EXPECT_TRUE(registry_.KeyExists(Key));
  EXPECT_FALSE(registry_.DeleteKey("Software\\Morvat\\U"));  // a prefix is no key
  EXPECT_TRUE(registry_.DeleteKey(Key));
  EXPECT_TRUE(registry_.DeleteKey("Software\\Morvat"));
  // Nor is a value that is not there.
  ASSERT_TRUE(registry_.CreateKey(Key));
  ASSERT_TRUE(registry_.SetValue(Key, "a", "1"));
  EXPECT_FALSE(registry_.DeleteValue(Key, "b"));
  EXPECT_TRUE(registry_.DeleteValue(Key, "a"));
  EXPECT_FALSE(registry_.DeleteValue(Key, "a"));
}

}  // namespace
}  // namespace corvane::test

#include "config/atomic_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace corvane::test {
namespace {

QStringList EntriesOf(const QString& folder) {
  QStringList names =
      QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  names.sort();
  return names;
}

TEST(WriteFileAtomically, ReplacesContentSetsPermissionsAndLeavesNothingWhenItFails) {
  QTemporaryDir dir;
  const QString path = dir.filePath("secret.dat");
  ASSERT_TRUE(WriteFileAtomically(path, "old content that is longer"));
  ASSERT_TRUE(WriteFileAtomically(path, "new", QFileDevice::ReadOwner | QFileDevice::WriteOwner));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("new"));
  EXPECT_EQ(file.permissions() & 0x7077,  // owner, group and other bits
            QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  EXPECT_EQ(EntriesOf(dir.path()), QStringList{"secret.dat"});
  // A failure leaves the old files and no temporary; a folder in the way cannot be replaced
  // by a file.
  EXPECT_FALSE(WriteFileAtomically(dir.filePath("missing/x.dat"), "data"));
  ASSERT_TRUE(QDir(dir.path()).mkdir("taken"));
  EXPECT_FALSE(WriteFileAtomically(dir.filePath("taken"), "data"));
  EXPECT_EQ(EntriesOf(dir.path()), QStringList({"secret.dat", "taken"}));
}

}  // namespace
}  // namespace corvane::test

// Publishing an Access file imports it once into databases/ and reuses the result.
#include "config/imported_databases.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "support/access_fixtures.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

const QString kTable = "\"19 MB 01 BEZAHLT ???\"";

class AccessPublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    source_ = Copy("weirdObjectNames.mdb", "data/Customers.mdb");
  }
  QString Copy(const QString& fixture, const QString& relative) {
    const QString path = sources_.filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    EXPECT_TRUE(QFile::copy(Fixture(fixture), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
  }
  PublishedAccess Prepare(const QString& accessPath) {
    return PrepareAccessDatabase(program_.path(), accessPath, ServerConversion());
  }
  static qlonglong Rows(const QString& database) {
    return QueryOnFile(database, "SELECT count(*) FROM " + kTable).toLongLong();
  }

  QTemporaryDir program_;
  QTemporaryDir sources_;
  QString source_;
};

TEST_F(AccessPublishTest, ImportsOnceKeepsClientChangesAndImportsAChangedFileAfresh) {
  const PublishedAccess first = Prepare(source_);
  ASSERT_TRUE(first.ok) << first.error.toStdString();
  EXPECT_TRUE(first.imported);
  EXPECT_EQ(QFileInfo(first.databasePath).absolutePath(),
            QDir(program_.path()).filePath("databases"));
  EXPECT_TRUE(QFileInfo(first.databasePath).fileName().startsWith("Customers"));
  EXPECT_EQ(first.report.Summary(), "Imported 1 table (1 row) and 0 queries.");

  // A client adds a row; publishing the unchanged file again keeps it.
  ExecOnFile(first.databasePath, "INSERT INTO " + kTable + " (TextField) VALUES ('x')");
  const PublishedAccess again = Prepare(source_);
  ASSERT_TRUE(again.ok);
  EXPECT_FALSE(again.imported);
  EXPECT_EQ(again.databasePath, first.databasePath);
  EXPECT_EQ(again.report.Summary(), first.report.Summary());
  EXPECT_EQ(Rows(again.databasePath), 2);

  // A changed file goes to a new database, so that sessions on the old one are never
  // disturbed; the old one, with the row a client added, is kept.
  QFile file(source_);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.setFileTime(QFileInfo(source_).lastModified().addSecs(60),
                               QFileDevice::FileModificationTime));
  file.close();
  const PublishedAccess changed = Prepare(source_);
  ASSERT_TRUE(changed.ok);
  EXPECT_TRUE(changed.imported);
  EXPECT_NE(changed.databasePath, first.databasePath);
  EXPECT_EQ(Rows(changed.databasePath), 1);
  EXPECT_EQ(Rows(first.databasePath), 2);
  EXPECT_EQ(changed.earlierImports, QStringList{first.databasePath});
}

}  // namespace
}  // namespace corvane::test

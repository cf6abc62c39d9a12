// Publishing an Access file imports it once into databases/ and reuses the result.
#include "config/imported_databases.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "support/access_fixtures.h"

namespace corvane::test {
namespace {

class AccessPublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (FixtureDir().isEmpty()) GTEST_SKIP() << "Access fixtures not found";
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
    return SqliteFile(database).Value("SELECT count(*) FROM \"19 MB 01 BEZAHLT ???\"").toLongLong();
  }

  QTemporaryDir program_;
  QTemporaryDir sources_;
  QString source_;
};

TEST_F(AccessPublishTest, ImportsOnceIntoDatabasesAndKeepsClientChanges) {
  const PublishedAccess first = Prepare(source_);
  ASSERT_TRUE(first.ok) << first.error.toStdString();
  EXPECT_TRUE(first.imported);
  EXPECT_EQ(QFileInfo(first.databasePath).absolutePath(),
            QDir(program_.path()).filePath("databases"));
  EXPECT_TRUE(QFileInfo(first.databasePath).fileName().startsWith("Customers"));
  EXPECT_EQ(first.report.Summary(), "Imported 1 table (1 row) and 0 queries.");
  EXPECT_EQ(Rows(first.databasePath), 1);

  // A client adds a row; publishing the unchanged file again keeps it.
  SqliteFile(first.databasePath)
      .Query("INSERT INTO \"19 MB 01 BEZAHLT ???\" (TextField) VALUES ('x')");
  const PublishedAccess again = Prepare(source_);
  ASSERT_TRUE(again.ok);
  EXPECT_FALSE(again.imported);
  EXPECT_EQ(again.databasePath, first.databasePath);
  EXPECT_EQ(again.report.Summary(), first.report.Summary());
  EXPECT_EQ(Rows(again.databasePath), 2);
}

TEST_F(AccessPublishTest, AChangedFileIsImportedAgain) {
  const PublishedAccess first = Prepare(source_);
  ASSERT_TRUE(first.ok);
  SqliteFile(first.databasePath)
      .Query("INSERT INTO \"19 MB 01 BEZAHLT ???\" (TextField) VALUES ('x')");
  QFile file(source_);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.setFileTime(QFileInfo(source_).lastModified().addSecs(60),
                               QFileDevice::FileModificationTime));
  file.close();
  const PublishedAccess second = Prepare(source_);
  ASSERT_TRUE(second.ok);
  EXPECT_TRUE(second.imported);
  // A new file, so that sessions on the old one are never disturbed; the old one, with
  // the row a client added, is kept.
  EXPECT_NE(second.databasePath, first.databasePath);
  EXPECT_EQ(Rows(second.databasePath), 1);
  EXPECT_EQ(Rows(first.databasePath), 2);
  EXPECT_EQ(second.earlierImports, QStringList{first.databasePath});
}

TEST_F(AccessPublishTest, SameNamesInOtherFoldersGetTheirOwnDatabase) {
  const QString other = Copy("testUnicodeCompV2003.mdb", "elsewhere/Customers.mdb");
  const PublishedAccess a = Prepare(source_);
  const PublishedAccess b = Prepare(other);
  ASSERT_TRUE(a.ok && b.ok);
  EXPECT_NE(a.databasePath, b.databasePath);
  EXPECT_EQ(b.report.tables.at(0).name, "Table");
}

TEST_F(AccessPublishTest, AFileThatCannotBeImportedPublishesNothing) {
  const QString bogus = sources_.filePath("Bogus.mdb");
  QFile file(bogus);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("not a database");
  file.close();
  const PublishedAccess result = Prepare(bogus);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, bogus + " is not a Microsoft Access database.");
  EXPECT_FALSE(QFileInfo::exists(result.databasePath));
  EXPECT_EQ(QDir(program_.filePath("databases")).entryList(QDir::Files), QStringList());
}

TEST(AccessFileName, ByExtension) {
  EXPECT_TRUE(IsAccessFileName("C:/db/Orders.MDB"));
  EXPECT_TRUE(IsAccessFileName("/srv/x.accdb"));
  EXPECT_FALSE(IsAccessFileName("/srv/x.sqlite"));
  EXPECT_FALSE(IsAccessFileName("/srv/mdb"));
}

}  // namespace
}  // namespace corvane::test

// Browsing to an Access file imports it at once and shows the operator what came over;
// "&Save" then publishes it without a second import.
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

#include "activity/activity_rows_model.h"
#include "setup_fixture.h"
#include "support/access_fixtures.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

class AccessBrowseTest : public SetupFixture {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    ASSERT_TRUE(QDir().mkpath(dir_.filePath("sources")));
    StoreUsers({{"ANN", "PW1", "12345678"}});
    Configure([](ServerSettings& s) { s.ListenPort = static_cast<int16_t>(FreeListenPort()); });
  }
  void TearDown() override {
    if (server_) server_->Slots().CloseListener();
  }

  QString Source(const QString& name) const { return dir_.filePath("sources/" + name); }

  // Picks the file in the file-open dialog that "Browse" opens.
  void BrowseTo(const QString& path) {
    QTimer::singleShot(0, [path] {
      auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(chooser, nullptr);
      chooser->selectNameFilter(chooser->nameFilters().value(1));
      chooser->selectFile(path);
      QMetaObject::invokeMethod(chooser, "accept");
    });
    Click("cmdBrowse");
  }

  QStringList Notes() {
    QStringList notes;
    const ActivityRowsModel& rows = server_->ActivityRows();
    for (int i = 0; i < rows.rowCount(); ++i) notes << rows.Row(i).event;
    return notes;
  }
};

TEST_F(AccessBrowseTest, ABrokenFileIsNotListedAndAGoodOneIsPublishedWithoutASecondImport) {
  const QString broken = Source("Broken.mdb");
  ASSERT_TRUE(WriteFileBytes(broken, QByteArray(8192, '\x11')));
  const QString mdb = Source("Unicode.mdb");
  ASSERT_TRUE(QFile::copy(Fixture("testUnicodeCompV2003.mdb"), mdb));
  OpenDialog().show();
  BrowseTo(broken);
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].title, "Database Error");
  EXPECT_TRUE(prompts_.boxes[0].text.startsWith("Database Error: Broken.mdb\r\r"));
  EXPECT_TRUE(prompts_.boxes[0].text.contains("not a Microsoft Access database"));
  EXPECT_EQ(Databases()->topLevelItemCount(), 0);

  BrowseTo(mdb);
  ASSERT_EQ(prompts_.boxes.size(), 2u);
  EXPECT_EQ(prompts_.boxes[1].icon, OperatorPrompts::Icon::Information);
  EXPECT_TRUE(prompts_.boxes[1].text.startsWith(
      "Imported 1 table (8 rows) and 0 queries.\rTable Table: 8 rows"))
      << prompts_.boxes[1].text.toStdString();
  ASSERT_EQ(Databases()->topLevelItemCount(), 1);
  EXPECT_EQ(Databases()->topLevelItem(0)->text(1), mdb);
  EXPECT_EQ(Notes(), QStringList{"Unicode.mdb: Imported 1 table (8 rows) and 0 queries."});

  Click("cmdSetup_0");
  const Catalogue& catalogue = server_->CatalogueLists();
  ASSERT_EQ(catalogue.published.size(), 1u);
  EXPECT_EQ(catalogue.published[0].location, mdb);
  EXPECT_EQ(QFileInfo(catalogue.published[0].servedLocation).absolutePath(),
            dir_.filePath("databases"));
  EXPECT_EQ(catalogue.tableLists, (std::vector<QStringList>{{"Table"}}));
  EXPECT_EQ(prompts_.boxes.size(), 2u);
  EXPECT_EQ(Notes().size(), 1);
}

}  // namespace
}  // namespace corvane::test

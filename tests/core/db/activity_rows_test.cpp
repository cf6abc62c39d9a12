#include "activity/activity_log.h"
#include "activity/activity_rows_model.h"
#include "db_session_fixture.h"

namespace corvane::test {
namespace {

// The rows the activity list shows for the database commands, built at the moment each
// event is reported.
class ActivityRowsTest : public DbSessionTest {
 protected:
  void SetUp() override {
    DbSessionTest::SetUp();
    log_ = std::make_unique<ActivityLog>(rows_, server_.settings, dir_.path(),
                                         HostIdentity{"HOST", "10.0.0.1"});
    server_.activity.forward = [this](const ActivityEntry& entry) { log_->LogActivity(entry); };
    MakePeople({"Ann", "Bob", "Cy"});
    Publish({QStringLiteral("people")});
  }
  void TearDown() override { server_.activity.forward = nullptr; }

  // Event, user, database, table/query and record of the last row.
  QStringList LastRow() {
    const ActivityRow& row = rows_.Row(rows_.rowCount() - 1);
    return {row.event, row.user, row.database, row.table_query, row.record};
  }

  ActivityRowsModel rows_;
  std::unique_ptr<ActivityLog> log_;
};

TEST_F(ActivityRowsTest, BrowsingEditingSortingErrorAndQueryRows) {
  auto client = LoggedOn();
  Ask(*client, "RequestTheTable", {"0", "0"});
  EXPECT_EQ(LastRow(), (QStringList{"Retreived Database", "bob", path_, "people", "1"}));
  Ask(*client, "Next");
  EXPECT_EQ(LastRow(), (QStringList{"Retrieve Record", "bob", path_, "people", "2"}));
  Ask(*client, "Update", {"2", "Bo", "21"});
  EXPECT_EQ(LastRow(), (QStringList{"Updated Record", "bob", path_, "people", "2"}));
  Ask(*client, "Add", {"", "Di", "40"});
  EXPECT_EQ(LastRow(), (QStringList{"Added Record", "bob", path_, "people", "4"}));
  Ask(*client, "Sort", {"name DESC"});
  // A sorted view shows the opened table's name and the record count.
  EXPECT_EQ(LastRow(), (QStringList{"Table Sorted", "bob", path_, "people", "4"}));
  Ask(*client, "Sort", {"nosuch"});
  EXPECT_TRUE(LastRow()[0].startsWith(QStringLiteral("Sort Error: 3070  ")));
  client->Send("Close");
  ASSERT_TRUE(Silent(*client));
  EXPECT_EQ(LastRow().mid(0, 3), (QStringList{"Closed Database", "bob", path_}));
  // Error rows carry number and description.
  Ask(*client, "RequestTheTable", {"0", "0"});
  client->Send("Update", {"1", "Much too long a name", "10"});
  ASSERT_EQ(client->ReadReplies(2).size(), 2);
  const QStringList row = LastRow();
  EXPECT_TRUE(row[0].startsWith(QStringLiteral("Update Error: 3163  "))) << row[0].toStdString();
  EXPECT_EQ(row.mid(1), (QStringList{"bob", path_, "people", "1"}));
  // A saved query's row shows its count.
  Ask(*client, "RequestTablesWiz", {"0"});
  Ask(*client, "CreateQuery", {"Young", "SELECT name FROM people WHERE age < 30"});
  Ask(*client, "SaveQuery", {"0"});
  EXPECT_EQ(LastRow(), (QStringList{"Query Created", "bob", path_, "Young", "2"}));
}

}  // namespace
}  // namespace corvane::test

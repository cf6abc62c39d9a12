// The facts the database commands report for the activity list: the table or query and
// the record, or the count where a whole set changed.
#include "activity/activity_log.h"
#include "activity/activity_rows_model.h"
#include "db_session_fixture.h"

namespace corvane::test {
namespace {

using ActivityRowsTest = DbSessionTest;

TEST_F(ActivityRowsTest, RowsNameTheRecordOrTheCountOfTheSet) {
  ActivityRowsModel rows;
  ActivityLog log(rows, server_.settings, dir_.path(), HostIdentity{"HOST", "10.0.0.1"});
  server_.activity.forward = [&log](const ActivityEntry& entry) { log.LogActivity(entry); };
  const auto last = [&rows] {
    const ActivityRow& row = rows.Row(rows.rowCount() - 1);
    return QStringList{row.event, row.user, row.database, row.table_query, row.record};
  };
  auto client = Browsing({"Ann", "Bob", "Cy"});
  EXPECT_EQ(last(), (QStringList{"Retreived Database", "bob", path_, "people", "1"}));
  Ask(*client, "Add", {"", "Di", "40"});
  EXPECT_EQ(last(), (QStringList{"Added Record", "bob", path_, "people", "4"}));
  Ask(*client, "Sort", {"name DESC"});
  EXPECT_EQ(last(), (QStringList{"Table Sorted", "bob", path_, "people", "4"}));
  client->Send("Update", {"1", "Much too long a name", "10"});
  ASSERT_EQ(client->ReadReplies(2).size(), 2);
  EXPECT_TRUE(last()[0].startsWith("Update Error: 3163  ")) << last()[0].toStdString();
  Ask(*client, "RequestTablesWiz", {"0"});
  Ask(*client, "CreateQuery", {"Young", "SELECT name FROM people WHERE age < 30"});
  Ask(*client, "SaveQuery", {"0"});
  EXPECT_EQ(last(), (QStringList{"Query Created", "bob", path_, "Young", "2"}));
  server_.activity.forward = nullptr;
}

}  // namespace
}  // namespace corvane::test

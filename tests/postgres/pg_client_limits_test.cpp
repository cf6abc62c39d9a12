// How large a value or a result a client may make the server hold from a server database:
// the limits of a database file (ClientLimitsTest) hold here too, and the refused client and
// a second one are served afterwards.
#include "core/db/db_session_fixture.h"
#include "engine/work_limits.h"

namespace corvane::test {
namespace {

class PgClientLimitsTest : public DbSessionTest {
 protected:
  PgClientLimitsTest() : DbSessionTest(Engine::kPostgres) {}
};

TEST_F(PgClientLimitsTest, AValueOrAResultLargerThanTheLimitsIsRefused) {
  // Values of half the value limit, in rows that together pass the result limit by one row.
  const qint64 half = kValueLengthLimitBytes / 2;
  const qint64 rows = kResultMemoryLimitBytes / half + 1;
  Exec(QStringLiteral("CREATE TABLE notes (id int PRIMARY KEY, body text); INSERT INTO notes "
                      "SELECT i, repeat('x', %1) FROM generate_series(1, %2) i")
           .arg(half)
           .arg(rows));
  Publish({"notes"});
  auto bystander = Bystander();
  auto client = LoggedOn();
  ASSERT_EQ(Ask(*client, "RequestTablesWiz", {"0"}).word, "TablesWiz");

  const auto expectTooBig = [](const ClientReply& reply) {
    EXPECT_EQ(reply.word, "ErrorDB");
    EXPECT_TRUE(reply.fields.value(0).contains("too big")) << reply.fields.value(0).constData();
  };
  // Two 200 MB values once took the server from 32 MB to 1 GB.
  expectTooBig(Ask(*client, "CreateQuery",
                   {"Huge", "SELECT body & body & body AS v FROM notes WHERE id = 1"}));
  expectTooBig(Ask(*client, "CreateQuery", {"All", "SELECT body FROM notes"}));
  EXPECT_EQ(Query("SELECT count(*) FROM pg_views WHERE viewname IN ('Huge', 'All')").toInt(), 0);
  // A stored value over the limit is refused when its record is read.
  Exec("UPDATE notes SET body = body || body || 'x' WHERE id = 2");
  expectTooBig(Ask(*bystander, "Next"));

  EXPECT_EQ(Ask(*client, "CreateQuery", {"Ids", "SELECT id FROM notes"}).text,
            Message({"FieldsCreateQuery", QByteArray::number(rows), "id"}));
  ExpectServed(*Bystander());
}

}  // namespace
}  // namespace corvane::test

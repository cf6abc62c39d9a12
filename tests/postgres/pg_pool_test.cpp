// A pool makes its connections when a database is first opened, so that a burst of
// requests never waits for new PostgreSQL backends; where the server allows fewer, it keeps
// what it got and nobody is told the database is down.
#include "postgres/pg_pool.h"

#include <QDateTime>
#include <atomic>

#include "engine/database.h"
#include "engine/work_limits.h"
#include "pg_fixture.h"

namespace corvane::test {
namespace {

class PgPoolTest : public PgTest {
 protected:
  PgPoolOptions Counting() {
    PgPoolOptions options;
    options.outcome = [this](const QString&, bool answered, const QString&) {
      ++(answered ? connected_ : failed_);
    };
    return options;
  }
  std::atomic<int> connected_{0};
  std::atomic<int> failed_{0};
};

TEST_F(PgPoolTest, TheFirstOpenFillsThePoolAndABurstConnectsNoMore) {
  ServedDatabases served;
  served.SetPoolOptions(Counting());
  auto first = served.Open(Location());
  EXPECT_EQ(connected_, kServerPoolSize);
  auto second = served.Open(Location());
  {
    auto pool = std::make_shared<PgPool>(Location(), 3, kClientWorkLimitMs, Counting());
    std::vector<PgPool::Lease> burst;  // given back before the pool goes
    pool->Fill();
    EXPECT_EQ(connected_, kServerPoolSize + 3);
    for (int i = 0; i < 3; ++i) burst.push_back(pool->Borrow());
    EXPECT_EQ(connected_, kServerPoolSize + 3);
  }
  EXPECT_EQ(failed_, 0);
}

// A cancel reaches the server on a connection of its own, whenever it gets there: one that
// came after its statement ended would stop the next borrower's.
TEST_F(PgPoolTest, AConnectionAStatementWasCancelledOnIsNotLentAgainNorReportedLost) {
  PgPool pool(Location(), 1, kClientWorkLimitMs, Counting());
  const auto backend = [&](const PgStop& stop = {}) {
    PgPool::Lease lease = pool.Borrow();
    lease->SetStop(stop);
    return lease
        ->Exec(QStringLiteral("SELECT pg_backend_pid(), pg_sleep(%1)").arg(stop.deadline ? 5 : 0))
        .Bytes(0, 0);
  };
  const QByteArray first = backend();
  EXPECT_EQ(backend(), first);
  PgStop soon;
  soon.deadline = QDateTime::currentMSecsSinceEpoch() + 200;
  EXPECT_THROW(backend(soon), EngineError);
  EXPECT_NE(backend(), first);
  EXPECT_EQ(failed_, 0);
}

TEST_F(PgPoolTest, AServerThatAllowsFewerConnectionsLeavesThePoolPartlyFilledAndQuiet) {
  Exec("DROP ROLE IF EXISTS corvane_few");
  PgConnection(Location(), 30000)
      .Exec(QStringLiteral("CREATE ROLE corvane_few LOGIN CONNECTION LIMIT 2 PASSWORD '%1'")
                .arg(qEnvironmentVariable("PGPASSWORD").replace("'", "''")));
  Exec("GRANT USAGE ON SCHEMA public TO corvane_few");
  ServedDatabases served;
  served.SetPoolOptions(Counting());
  auto db = served.Open(Location() + QStringLiteral("?user=corvane_few"));
  EXPECT_EQ(connected_, 2);
  EXPECT_EQ(failed_, 0);
  EXPECT_TRUE(db->TableDefs().empty());  // the two it has serve
}

}  // namespace
}  // namespace corvane::test

// Engine figures on a large table: opening a set against SQLite's own rowid scan, a
// move plus fetch at two table sizes, a find, and the memory an open set holds.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <random>

#include "engine/database.h"

namespace corvane {
namespace {

// One file per table size, made once per run.
const QString& TableFile(int64_t rows) {
  static QTemporaryDir dir;
  static std::map<int64_t, QString> files;
  auto it = files.find(rows);
  if (it != files.end()) return it->second;
  const QString path = dir.filePath(QStringLiteral("bench_%1.db").arg(rows));
  sqlite3* db = nullptr;
  sqlite3_open(path.toUtf8().constData(), &db);
  const QByteArray sql = QStringLiteral(
                             "PRAGMA journal_mode=WAL;"
                             "CREATE TABLE big (id INTEGER PRIMARY KEY, name VARCHAR(40), "
                             "amount DOUBLE, born DATETIME);"
                             "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
                             "WHERE x < %1) INSERT INTO big (name, amount, born) "
                             "SELECT 'name ' || x, x * 1.5, '2000-01-01 10:00:00' FROM c;")
                             .arg(rows)
                             .toUtf8();
  sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return files.emplace(rows, path).first->second;
}

// What SQLite itself needs to read the rowids of the table in order.
void BM_SqliteReadRowids(benchmark::State& state) {
  const QString& path = TableFile(state.range(0));
  sqlite3* db = nullptr;
  sqlite3_open(path.toUtf8().constData(), &db);
  for (auto _ : state) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT id FROM big ORDER BY id", -1, &stmt, nullptr);
    int64_t sum = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) sum += sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    benchmark::DoNotOptimize(sum);
  }
  sqlite3_close(db);
}

void BM_OpenSetAndMoveLast(benchmark::State& state) {
  auto db = OpenDatabase(TableFile(state.range(0)));
  for (auto _ : state) {
    auto rs = db->OpenRecordset(QStringLiteral("big"));
    rs->MoveLast();
    benchmark::DoNotOptimize(rs->Value(1));
  }
}

// A client's sort: a temporary query ordering the table by a text field.
void BM_OpenSortedSet(benchmark::State& state) {
  auto db = OpenDatabase(TableFile(state.range(0)));
  for (auto _ : state) {
    auto rs = db->CreateQueryDef(QString(), QStringLiteral("SELECT * FROM [big] ORDER BY name;"))
                  .OpenRecordset();
    rs->MoveLast();
    benchmark::DoNotOptimize(rs->Value(1));
  }
}

void BM_MoveAndFetch(benchmark::State& state) {
  auto db = OpenDatabase(TableFile(state.range(0)));
  auto rs = db->OpenRecordset(QStringLiteral("big"));
  std::mt19937_64 random(42);
  std::uniform_int_distribution<int64_t> position(0, rs->RecordCount() - 1);
  for (auto _ : state) {
    rs->SetAbsolutePosition(position(random));
    benchmark::DoNotOptimize(rs->Value(1));
  }
}

void BM_FindFirstNearEnd(benchmark::State& state) {
  auto db = OpenDatabase(TableFile(state.range(0)));
  auto rs = db->OpenRecordset(QStringLiteral("big"));
  const QString criterion = QStringLiteral("name Like 'name %1*'").arg(state.range(0) - 1);
  for (auto _ : state) {
    rs->FindFirst(criterion);
    if (rs->NoMatch()) state.SkipWithError("no match");
  }
}

// Heap bytes held per record by an open set.
void BM_OpenSetMemory(benchmark::State& state) {
  auto db = OpenDatabase(TableFile(state.range(0)));
  double perRecord = 0;
  for (auto _ : state) {
    const size_t before = mallinfo2().uordblks;
    auto rs = db->OpenRecordset(QStringLiteral("big"));
    const size_t after = mallinfo2().uordblks;
    perRecord = static_cast<double>(after - before) / static_cast<double>(rs->RecordCount());
  }
  state.counters["bytes_per_record"] = perRecord;
}

BENCHMARK(BM_SqliteReadRowids)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSetAndMoveLast)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSortedSet)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveAndFetch)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindFirstNearEnd)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSetMemory)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// The Access import of one large table against the plain way of copying it: mdbtools'
// own row reader (the one its export tool uses) feeding one SQLite transaction. Also
// the import's peak memory at two table sizes, which should not grow with the rows.
//
// No Access writer is at hand, so the large tables are made from a fixture: its one-row
// table gets fresh data pages holding copies of that row with counted IDs, and a
// reference usage map that lists them.
//
// Figures (2 shared cores, RelWithDebInfo, 100,000 rows of a Long and a Text(255)):
//   Import/100000/real_time                    170 ms   (fork, read, write, sync, rename)
//   MdbtoolsExportIntoSqlite/100000/real_time  213 ms
//   ImportPeakMemory/10000                     child_peak_MiB=8
//   ImportPeakMemory/100000                    child_peak_MiB=10  (SQLite's page cache)
// Those were measured while the reader was a fork of the server. Since the child is a
// started corvane-server, a Debug (-O0) build measured: Import 198 ms, the export path
// 144 ms, peak 22 and 24 MiB; the peak now includes the program's own libraries, and still
// hardly grows with the rows. RelWithDebInfo figures are yet to be taken.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <map>

extern "C" {
#include <mdbtools.h>
}

#include "access/access_import.h"

namespace corvane {
namespace {

constexpr int kPage = 4096;
const char* const kTable = "19 MB 01 BEZAHLT ???";

QString FixturePath() {
  const QString env = qEnvironmentVariable("CORVANE_ACCESS_FIXTURES");
  return (env.isEmpty() ? QStringLiteral(CORVANE_SOURCE_DIR "/../shared/data/access") : env) +
         QStringLiteral("/weirdObjectNames.mdb");
}

void Put16(QByteArray& b, int at, int v) {
  b[at] = char(v & 0xff);
  b[at + 1] = char((v >> 8) & 0xff);
}
void Put32(QByteArray& b, int at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 0xff);
}
int Get16(const QByteArray& b, int at) { return uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8); }
uint32_t Get32(const QByteArray& b, int at) {
  return uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8) | (uint8_t(b[at + 2]) << 16) |
         (uint32_t(uint8_t(b[at + 3])) << 24);
}

// Bounds of row `row` on the page starting at `page`.
std::pair<int, int> RowBounds(const QByteArray& file, int page, int row, int countOffset) {
  const int base = page * kPage;
  const int start = Get16(file, base + countOffset + 2 + 2 * row) & 0x1fff;
  const int end = row == 0 ? kPage : Get16(file, base + countOffset + 2 * row) & 0x1fff;
  return {base + start, base + end};
}

// A copy of the fixture whose table holds `rows` rows.
QString MakeLargeFile(const QString& dir, int64_t rows) {
  QFile in(FixturePath());
  if (!in.open(QIODevice::ReadOnly)) return QString();
  QByteArray file = in.readAll();
  MdbHandle* mdb = mdb_open(QFile::encodeName(FixturePath()).constData(), MDB_NOFLAGS);
  mdb_read_catalog(mdb, MDB_ANY);
  MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(mdb, kTable);
  const int tdef = static_cast<int>(entry->table_pg);
  const MdbFormatConstants fmt = *mdb->fmt;
  // The existing row is the template.
  MdbTableDef* table = mdb_read_table(entry);
  mdb_read_next_dpg(table);
  const int dataPage = static_cast<int>(table->cur_phys_pg);
  mdb_free_tabledef(table);
  mdb_close(mdb);
  const auto [rowStart, rowEnd] = RowBounds(file, dataPage, 0, fmt.row_count_offset);
  const QByteArray templateRow = file.mid(rowStart, rowEnd - rowStart);
  const int rowsPerPage = (kPage - fmt.row_count_offset - 2) / (templateRow.size() + 2);

  const int firstNew = file.size() / kPage;
  const int dataPages = static_cast<int>((rows + rowsPerPage - 1) / rowsPerPage);
  const int mapPage = firstNew + dataPages;
  int64_t id = 0;
  for (int p = 0; p < dataPages; ++p) {
    QByteArray page(kPage, '\0');
    page[0] = 0x01;
    page[1] = 0x01;
    Put32(page, 4, tdef);
    const int count = static_cast<int>(std::min<int64_t>(rowsPerPage, rows - id));
    Put16(page, fmt.row_count_offset, count);
    int top = kPage;
    for (int r = 0; r < count; ++r, ++id) {
      top -= templateRow.size();
      page.replace(top, templateRow.size(), templateRow);
      Put32(page, top + 2, static_cast<uint32_t>(id + 1));  // ID follows the column count
      Put16(page, fmt.row_count_offset + 2 + 2 * r, top);
    }
    Put16(page, 2, top - (fmt.row_count_offset + 2 + 2 * count));
    file.append(page);
  }
  // A reference map: one bitmap page that marks the new data pages.
  QByteArray map(kPage, '\0');
  map[0] = 0x05;
  map[1] = 0x01;
  for (int p = firstNew; p < mapPage; ++p) map[4 + p / 8] = char(map[4 + p / 8] | (1 << (p % 8)));
  file.append(map);
  const uint32_t usage = Get32(file, tdef * kPage + fmt.tab_usage_map_offset);
  const auto [mapStart, mapEnd] =
      RowBounds(file, static_cast<int>(usage >> 8), usage & 0xff, fmt.row_count_offset);
  for (int i = mapStart; i < mapEnd; ++i) file[i] = 0;
  file[mapStart] = 0x01;
  Put32(file, mapStart + 1, mapPage);
  Put32(file, tdef * kPage + fmt.tab_num_rows_offset, static_cast<uint32_t>(rows));

  const QString path = dir + QStringLiteral("/large_%1.mdb").arg(rows);
  QFile out(path);
  if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size()) return QString();
  return path;
}

// The converting child is the built server: this executable has no --import-access.
AccessImportResult ImportThroughServer(const QString& source, const QString& target) {
  return ImportAccessDatabase(source, target, {QStringLiteral(CORVANE_SERVER_PATH)});
}

const QString& LargeFile(int64_t rows) {
  static QTemporaryDir dir;
  static std::map<int64_t, QString> files;
  auto it = files.find(rows);
  if (it == files.end()) it = files.emplace(rows, MakeLargeFile(dir.path(), rows)).first;
  return it->second;
}

void Import(benchmark::State& state) {
  const QString source = LargeFile(state.range(0));
  if (source.isEmpty()) return state.SkipWithError("fixture weirdObjectNames.mdb not found");
  QTemporaryDir dir;
  int64_t rows = 0;
  for (auto _ : state) {
    const AccessImportResult result = ImportThroughServer(source, dir.filePath("out.sqlite"));
    if (!result.ok) return state.SkipWithError(result.error.toUtf8().constData());
    rows = result.report.TotalRows();
  }
  if (rows != state.range(0)) state.SkipWithError("row count differs");
  state.SetItemsProcessed(state.iterations() * rows);
}

// mdbtools' export path: bound text columns from mdb_fetch_row, inserted as text.
void MdbtoolsExportIntoSqlite(benchmark::State& state) {
  const QString source = LargeFile(state.range(0));
  if (source.isEmpty()) return state.SkipWithError("fixture weirdObjectNames.mdb not found");
  QTemporaryDir dir;
  for (auto _ : state) {
    const QByteArray target = dir.filePath("plain.sqlite").toUtf8();
    std::remove(target.constData());
    MdbHandle* mdb = mdb_open(QFile::encodeName(source).constData(), MDB_NOFLAGS);
    mdb_read_catalog(mdb, MDB_ANY);
    MdbTableDef* table = mdb_read_table_by_name(mdb, const_cast<char*>(kTable), MDB_TABLE);
    mdb_read_columns(table);
    std::vector<std::vector<char>> bound(table->num_cols, std::vector<char>(MDB_BIND_SIZE));
    std::vector<int> lengths(table->num_cols);
    for (unsigned i = 0; i < table->num_cols; ++i)
      mdb_bind_column(table, i + 1, bound[i].data(), &lengths[i]);
    sqlite3* db = nullptr;
    sqlite3_open(target.constData(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE t (ID INTEGER PRIMARY KEY AUTOINCREMENT, TextField VARCHAR(255));"
                 "BEGIN",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?1, ?2)", -1, &insert, nullptr);
    mdb_rewind_table(table);
    while (mdb_fetch_row(table)) {
      for (unsigned i = 0; i < table->num_cols; ++i)
        sqlite3_bind_text(insert, i + 1, bound[i].data(), lengths[i], SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    mdb_free_tabledef(table);
    mdb_close(mdb);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The peak resident size of the converting child, which does all the work.
void ImportPeakMemory(benchmark::State& state) {
  const QString source = LargeFile(state.range(0));
  if (source.isEmpty()) return state.SkipWithError("fixture weirdObjectNames.mdb not found");
  QTemporaryDir dir;
  long peakKb = 0;
  for (auto _ : state) {
    // A fork per measurement, so that the figure is this import's child's alone.
    const pid_t child = fork();
    if (child == 0) {
      ImportThroughServer(source, dir.filePath("out.sqlite"));
      struct rusage usage = {};
      getrusage(RUSAGE_CHILDREN, &usage);
      _exit(static_cast<int>(std::min<long>(usage.ru_maxrss / 1024, 250)));
    }
    int status = 0;
    waitpid(child, &status, 0);
    peakKb = WEXITSTATUS(status) * 1024L;
  }
  state.counters["child_peak_MiB"] = static_cast<double>(peakKb) / 1024.0;
}

BENCHMARK(Import)->Arg(100000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(MdbtoolsExportIntoSqlite)->Arg(100000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ImportPeakMemory)->Arg(10000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

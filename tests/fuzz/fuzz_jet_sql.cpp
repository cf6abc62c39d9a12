// The Jet SQL translator: client texts (queries, sort orders, find criteria) as Windows-1252
// bytes. It either gives SQLite text (and PostgreSQL text) or refuses with its error; the
// SQLite result, prepared on an empty database, must not fault SQLite either.
#include <sqlite3.h>

#include "base/windows1252.h"
#include "engine/engine_error.h"
#include "engine/jet_sql.h"
#include "harness.h"
#include "postgres/pg_jet_sql.h"

using namespace corvane;

namespace {

sqlite3* Database() {
  static sqlite3* db = [] {
    sqlite3* opened = nullptr;
    sqlite3_open(":memory:", &opened);
    sqlite3_exec(opened, "CREATE TABLE t (a TEXT, b INTEGER, [c d] REAL)", nullptr, nullptr,
                 nullptr);
    return opened;
  }();
  return db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputReader input(data, size);
  const QString jet = FromWindows1252(input.Rest());
  try {
    const QByteArray sql = TranslateJetSql(jet).toUtf8();
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(Database(), sql.constData(), static_cast<int>(sql.size()), &statement,
                       nullptr);
    sqlite3_finalize(statement);
  } catch (const EngineError&) {
  }
  // The PostgreSQL form of the same text, names known in any case, must not fault either.
  try {
    JetPgTarget target;
    target.spell = [](const QString& name) { return name.toLower(); };
    target.isText = [](const QString& name) { return name == QLatin1String("a"); };
    TranslateJetSqlForPostgres(jet, target);
  } catch (const EngineError&) {
  }
  try {
    JetDateLiteral(jet);
  } catch (const EngineError&) {
  }
  return 0;
}

#include "postgres/pg_client_sql.h"

#include "engine/engine_error.h"
#include "engine/jet_sql.h"
#include "engine/sql_tokens.h"

namespace corvane {

namespace {

bool IsTextType(const QString& type) {
  return type == QLatin1String("text") || type.startsWith(QLatin1String("character"));
}

}  // namespace

void PgNames::Add(const QString& name, bool text) {
  spelled.insert(name.toLower(), name);  // the first of two spellings wins
  if (text) textColumns.insert(name);
}

JetPgTarget PgNames::Target() const {
  JetPgTarget target;
  target.spell = [spelled = spelled](const QString& name) { return spelled.value(name.toLower()); };
  target.isText = [text = textColumns](const QString& name) { return text.contains(name); };
  return target;
}

PgNames CatalogueNames(PgConnection& connection) {
  const PgResult result = connection.Exec(QStringLiteral(
      "SELECT c.relname, a.attname, format_type(a.atttypid, a.atttypmod) FROM pg_class c "
      "JOIN pg_namespace n ON n.oid = c.relnamespace JOIN unnest(current_schemas(false)) "
      "WITH ORDINALITY s(name, pos) ON s.name = n.nspname LEFT JOIN pg_attribute a ON "
      "a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped WHERE c.relkind IN ('r', "
      "'p', 'v') ORDER BY s.pos, c.oid, a.attnum"));
  PgNames names;
  for (int r = 0; r < result.Rows(); ++r) {
    names.Add(result.Text(r, 0));
    if (!result.IsNull(r, 1)) names.Add(result.Text(r, 1), IsTextType(result.Text(r, 2)));
  }
  return names;
}

PgNames FieldNames(const std::vector<FieldInfo>& fields, const QString& relation) {
  PgNames names;
  for (const FieldInfo& f : fields) {
    const bool text = f.type == FieldType::kText || f.type == FieldType::kMemo;
    names.Add(f.sourceField, text);
  }
  if (!relation.isEmpty()) names.Add(relation);
  return names;
}

PgQuery TranslateClientSelect(const QString& jet, const PgNames& names,
                              const PgConnection* quoting) {
  CheckClientJetSqlLength(jet);
  const QString text = StripTrailingSemicolons(jet);
  for (const SqlToken& t : TokenizeSql(text, SqlDialect::kJet)) {
    if (t.isBlank()) continue;
    if (!t.isWord("SELECT")) {
      throw EngineError(
          engine_error::kReadOnly,
          QStringLiteral("The statement is not allowed here: a query may only read."));
    }
    break;
  }
  JetPgTarget target = names.Target();
  if (quoting) {
    target.quote = [quoting](const QString& value) { return quoting->QuoteLiteral(value); };
  }
  PgQuery query;
  query.sql = TranslateJetSqlForPostgres(text, target);
  if (query.sql.trimmed().isEmpty()) {
    throw EngineError(engine_error::kSyntaxError,
                      QStringLiteral("Syntax error in expression (the text is empty)."));
  }
  query.params = std::move(target.params);
  return query;
}

}  // namespace corvane

#include "engine/database.h"

#include "engine/engine_error.h"

namespace corvane {

TableDef Database::TableDefByName(const QString& name) const {
  for (TableDef& def : TableDefs()) {
    if (def.name.compare(name, Qt::CaseInsensitive) == 0) return std::move(def);
  }
  throw EngineError(engine_error::kItemNotFound,
                    QStringLiteral("There is no table named '%1'.").arg(name));
}

}  // namespace corvane

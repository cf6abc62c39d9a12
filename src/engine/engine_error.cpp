#include "engine/engine_error.h"

namespace corvane {

EngineError::EngineError(int32_t number, QString description)
    : number_(number), description_(std::move(description)), what_(description_.toUtf8()) {}

EngineError DeletedByOther() {
  return EngineError(engine_error::kRecordDeleted,
                     QStringLiteral("The record was deleted by another user."));
}

EngineError ChangedByOther() {
  return EngineError(engine_error::kChangedByOther,
                     QStringLiteral("Another user changed this record after you read it; your "
                                    "changes were not saved. Read the record again and repeat "
                                    "them."));
}

}  // namespace corvane

#include "engine/engine_error.h"

namespace corvane {

EngineError::EngineError(int32_t number, QString description)
    : number_(number), description_(std::move(description)), what_(description_.toUtf8()) {}

}  // namespace corvane

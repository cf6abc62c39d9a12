#pragma once

#include <QString>
#include <optional>

#include "engine/jet_sql_writer.h"

namespace corvane {

// The PostgreSQL form of a call of the Jet function `name` with `args` arguments, with
// the meaning it has on a file; nullopt: written as it is (PostgreSQL has the same
// function).
std::optional<JetCallForm> PgCallFor(const QString& name, int args);

}  // namespace corvane

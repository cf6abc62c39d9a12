#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "base/catalogue.h"
#include "protocol/request.h"

namespace corvane {

// The lists a client may ask for. A database number without lists throws CommandError.
// Nothing is published: no reply at all.
std::optional<Reply> DatabaseListReply(const Catalogue& catalogue);
Reply TableListReply(const Catalogue& catalogue, int16_t n);
Reply WizardTableListReply(const Catalogue& catalogue, int16_t n);
Reply QueryListReply(const Catalogue& catalogue, int16_t n);

// A saved query's name as clients see it: "~sq_" and the character after it dropped.
QString ClientQueryName(const QString& name);

}  // namespace corvane

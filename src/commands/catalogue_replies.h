#pragma once

#include <QByteArray>
#include <cstdint>

#include "base/catalogue.h"

namespace corvane {

class CommandContext;

// Reply texts (not yet framed) of the lists a client may ask for. A database number without
// lists throws CommandError.
QByteArray DatabaseListText(const Catalogue& catalogue);  // empty when nothing is published
QByteArray TableListText(const Catalogue& catalogue, int16_t n);
QByteArray WizardTableListText(const Catalogue& catalogue, int16_t n);
QByteArray QueryListText(const Catalogue& catalogue, int16_t n);

// A saved query's name as clients see it: "~sq_" and the character after it dropped.
QByteArray ClientQueryName(const QByteArray& name);

// The framed replies for the context's slot; DatabaseListReply is empty (no reply at all)
// when no database is published.
QByteArray DatabaseListReply(CommandContext& ctx);
QByteArray TableListReply(int16_t n, CommandContext& ctx);
QByteArray WizardTableListReply(int16_t n, CommandContext& ctx);
QByteArray QueryListReply(int16_t n, CommandContext& ctx);

}  // namespace corvane

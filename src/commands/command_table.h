#pragma once

#include <array>

#include "commands/dispatcher.h"

namespace corvane {

// What each command does, by command.
std::array<CommandHandler, kCommandCount> CommandHandlers();

}  // namespace corvane

#pragma once

#include <QString>

namespace corvane {

// Jet's Like: * any run, ? one character, # one digit, [abc] [a-z] one of, [!abc] none
// of; letters compare without regard to case.
bool JetLikeMatch(const QString& pattern, const QString& text);

}  // namespace corvane

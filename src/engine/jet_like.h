#pragma once

#include <QString>
#include <string_view>

namespace corvane {

// Jet's Like: * any run, ? one character, # one digit, [abc] [a-z] one of, [!abc] none
// of; letters compare without regard to case.
bool JetLikeMatch(const QString& pattern, const QString& text);
// The same for texts that are both ASCII, on their bytes.
bool JetLikeMatchAscii(std::string_view pattern, std::string_view text);

}  // namespace corvane

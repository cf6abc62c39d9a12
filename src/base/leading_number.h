#pragma once

#include <QByteArray>

namespace corvane {

// The leading number of a text, read the way clients have always had their numbers read:
// blanks, tabs and line feeds are skipped anywhere; then an optional sign, digits, an
// optional "." with digits and an optional E or D exponent, up to the first character that
// does not fit. "&H" and "&O" introduce hexadecimal and octal numbers. 0 when no digit was
// read. Regional settings play no part.
double LeadingNumber(const QByteArray& text);

}  // namespace corvane

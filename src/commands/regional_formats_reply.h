#pragma once

#include "commands/value_text.h"
#include "protocol/request.h"

namespace corvane {

// The reply to "RegionalFormats": the short date, time, currency and number formats that
// value texts are written and read in, each followed by an example written by the same code
// that writes field values, so that a client can write new dates and amounts the server
// reads; then the negative amount and the exponent form of numbers the same way, and the
// significant digits of a Double and a Single, where the exponent form begins. Formats use
// d, M, yyyy, h, H, mm, ss and AP (AM/PM) for dates and times, and 0 (a digit), # (a digit
// that may be left out) for amounts and numbers; every other character stands for itself.
Reply RegionalFormatsReply(const RegionalFormats& formats);

}  // namespace corvane

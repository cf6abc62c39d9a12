// The leading number of a text, as clients' numbers and settings fields are read.
#include "base/leading_number.h"

#include <gtest/gtest.h>

#include <limits>
#include <utility>
#include <vector>

namespace corvane::test {
namespace {

TEST(LeadingNumberTest, DecimalHexadecimalAndOctalFormsAndOutOfRangeValues) {
  // Blanks, tabs and line feeds are skipped anywhere, a carriage return is not; no digits
  // give zero.
  const std::vector<std::pair<const char*, double>> cases = {
      {"  -17abc", -17},  {"+ 7x", 7},        {"-.5", -0.5}, {"1,234", 1},  {"1.5E2", 150},
      {"2D1", 20},        {"25e-1", 2.5},     {"1e", 1},     {"3..", 3},    {" 1 2\t3\n4", 1234},
      {"1\r2", 1},        {"abc", 0},         {"E5", 0},     {"&hff", 255}, {"&HFFFF", -1},
      {"&H10000", 65536}, {"&HFFFFFFFF", -1}, {"&O17", 15},  {"&O19", 1},   {"&Hxyz", 0}};
  for (const auto& [text, value] : cases) EXPECT_EQ(LeadingNumber(text), value) << text;
  // Out of range goes the way of digits and exponent together: many digits with a small
  // negative exponent are still far too large, many zeros after the point with a large
  // exponent still far too small.
  const double huge = std::numeric_limits<double>::infinity();
  const QByteArray zeros(400, '0');
  EXPECT_EQ(LeadingNumber("1e400"), huge);
  EXPECT_EQ(LeadingNumber("-1e400"), -huge);
  EXPECT_EQ(LeadingNumber("1e-400"), 0);
  EXPECT_EQ(LeadingNumber("1" + zeros + "e-10"), huge);
  EXPECT_EQ(LeadingNumber("-1" + zeros + "D-5"), -huge);
  EXPECT_EQ(LeadingNumber("0." + zeros + "1e10"), 0);
}

}  // namespace
}  // namespace corvane::test

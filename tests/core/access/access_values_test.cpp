// Decoding of Access values that mdbtools leaves to its callers.
#include "access/access_values.h"

#include <gtest/gtest.h>

#include <QString>

namespace corvane::test {
namespace {

QString Text(const QByteArray& bytes, bool jet4) {
  QByteArray utf8;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
  jet4 ? AppendJet4Text(data, bytes.size(), utf8) : AppendJet3Text(data, bytes.size(), utf8);
  return QString::fromUtf8(utf8);
}

TEST(AccessText, Jet4PlainCompressedAndMixedRunsAndJet3AsWindows1252) {
  EXPECT_EQ(Text(QByteArray("A\0\xE4\0", 4), true), QString::fromUtf8("Aä"));
  // Compressed: one byte per character after FF FE; 00 switches to two bytes per
  // character (Cyrillic Д) and back.
  EXPECT_EQ(Text(QByteArray("\xFF\xFE") + "abc", true), "abc");
  EXPECT_EQ(Text(QByteArray("\xFF\xFE") + QByteArray("a\0\x14\x04\0b", 6), true),
            QString::fromUtf8("aДb"));
  // A surrogate pair becomes one character; a lone half becomes U+FFFD.
  EXPECT_EQ(Text(QByteArray("\x3D\xD8\x00\xDE", 4), true), QString::fromUtf8("😀"));
  EXPECT_EQ(Text(QByteArray("\x3D\xD8") + QByteArray("a\0", 2), true),
            QChar(0xFFFD) + QString("a"));
  // Jet 3 keeps the bytes Windows-1252 leaves undefined.
  EXPECT_EQ(Text("\x80\x9F\xA3\xFF", false), QString::fromUtf8("€Ÿ£ÿ"));
  EXPECT_EQ(Text("\x81\x8D", false), QString(QChar(0x81)) + QChar(0x8D));
}

TEST(AccessDate, DayNumbersBecomeTheEngineForm) {
  EXPECT_EQ(AccessDateText(36526.5), "2000-01-01 12:00:00");
  EXPECT_EQ(AccessDateText(2.0 + 1.0 / 86400.0), "1900-01-01 00:00:01");
  // Before 1899 the fraction still counts forward from midnight.
  EXPECT_EQ(AccessDateText(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(AccessDateText(-657434.0), "0100-01-01 00:00:00");
  EXPECT_EQ(AccessDateText(2958465.0), "9999-12-31 00:00:00");
  // A time that rounds to midnight moves to the next day, never to 24:00.
  EXPECT_EQ(AccessDateText(1.0 - 0.1 / 86400.0), "1899-12-31 00:00:00");
  EXPECT_EQ(AccessDateText(36585.0), "2000-02-29 00:00:00");
  EXPECT_EQ(AccessDateText(1.0e7), QByteArray());
  EXPECT_EQ(AccessDateText(std::numeric_limits<double>::quiet_NaN()), QByteArray());
}

TEST(AccessValues, GuidAndCurrency) {
  const unsigned char guid[16] = {0x6A, 0x27, 0x39, 0x8E, 0xA8, 0xBC, 0xC4, 0x4A,
                                  0x89, 0x1E, 0x49, 0x91, 0x1D, 0x84, 0x38, 0xDD};
  EXPECT_EQ(AccessGuidText(guid), "{8E39276A-BCA8-4AC4-891E-49911D8438DD}");
  const unsigned char money[8] = {0xB1, 0x6B, 0x02, 0x00, 0, 0, 0, 0};  // 158641
  EXPECT_DOUBLE_EQ(CurrencyValue(money), 15.8641);
  const unsigned char minus[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_DOUBLE_EQ(CurrencyValue(minus), -0.0001);
}

}  // namespace
}  // namespace corvane::test

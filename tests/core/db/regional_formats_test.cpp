// The "RegionalFormats" request: the server's formats for dates, times, amounts and numbers
// with an example of each, which a client can copy to write values the server reads.
#include "db_session_fixture.h"

namespace corvane::test {
namespace {

struct FormatsCase {
  QLocale locale;
  // The reply's fields when known exactly; empty to check the round trip alone.
  QList<QByteArray> expected;
};

class RegionalFormatsTest : public DbSessionTest,
                            public ::testing::WithParamInterface<FormatsCase> {
 protected:
  RegionalFormatsTest() { locale_ = GetParam().locale; }
};

TEST_P(RegionalFormatsTest, TheExamplesAreWhatTheServerWritesAndReadsBack) {
  Exec(
      "CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT, price CURRENCY, since DATETIME, "
      "amount DOUBLE);"
      "INSERT INTO t (price, since, amount) VALUES (0, '2000-01-01 00:00:00', 0);");
  Publish({QStringLiteral("t")});
  auto client = LoggedOn();
  const ClientReply formats = Ask(*client, "RegionalFormats");
  ASSERT_EQ(formats.word, "RegionalFormats");
  ASSERT_EQ(formats.fields.size(), 14);
  if (!GetParam().expected.isEmpty()) {
    EXPECT_EQ(formats.fields.first(GetParam().expected.size()), GetParam().expected);
  }

  // A new record written from the examples alone stores exactly the example values, and
  // comes back in the same texts: a negative amount, a number with an exponent.
  const QByteArray& date = formats.fields[1];
  const QByteArray& time = formats.fields[3];
  const QByteArray& amount = formats.fields[9];
  const QByteArray& number = formats.fields[11];
  Ask(*client, "RequestTheTable", {"0", "0"});
  const ClientReply stored = Ask(*client, "Update", {"1", amount, date + ' ' + time, number});
  EXPECT_EQ(stored.fields.mid(2), (QList<QByteArray>{amount, date + ' ' + time, number}));
  EXPECT_EQ(Query("SELECT since FROM t").toString(), "2026-12-31 15:04:05");
  // A currency without decimals rounds the amount.
  EXPECT_NEAR(Query("SELECT price FROM t").toDouble(), -1234.5, 0.5);
  EXPECT_EQ(Query("SELECT amount FROM t").toDouble(), 1.5e20);
  EXPECT_TRUE(server_.activity.notes.empty());
}

// The server's locale under LANG=C groups digits, unlike QLocale::c().
QLocale SystemC() {
  QLocale c = QLocale::c();
  c.setNumberOptions({});
  return c;
}

INSTANTIATE_TEST_SUITE_P(
    Locales, RegionalFormatsTest,
    ::testing::Values(FormatsCase{QLocale(QLocale::English, QLocale::UnitedStates),
                                  {"M/d/yyyy", "12/31/2026", "h:mm:ss AP", "3:04:05 PM",
                                   "$#,##0.00", "$1,234.50", "0.#", "1234.5"}},
                      FormatsCase{QLocale(QLocale::German, QLocale::Germany),
                                  {"dd.MM.yyyy", "31.12.2026", "HH:mm:ss", "15:04:05",
                                   "#.##0,00\xA0\x80", "1.234,50\xA0\x80", "0,#", "1234,5"}},
                      FormatsCase{SystemC(),
                                  {"d MMM yyyy", "31 Dec 2026", "HH:mm:ss", "15:04:05", "#,##0.00",
                                   "1,234.50", "0.#", "1234.5", "-#,##0.00", "-1,234.50", "0.#e+00",
                                   "1.5e+20", "15", "7"}},
                      FormatsCase{QLocale(QLocale::French, QLocale::France), {}},
                      FormatsCase{QLocale(QLocale::Spanish, QLocale::Chile), {}}));

}  // namespace
}  // namespace corvane::test

#include "db_session_fixture.h"

namespace corvane::test {
namespace {

// Money and dates as clients see them under two regional settings, and records sent back
// unchanged that store exactly what was there.
class RegionalSessionTest : public DbSessionTest,
                            public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    locale_ = QLocale(QString::fromLatin1(GetParam()));
    DbSessionTest::SetUp();
    Exec(
        QStringLiteral("CREATE TABLE sales (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "price CURRENCY, sold DATETIME, rate DOUBLE, paid YESNO)"));
    Exec(
        QStringLiteral("INSERT INTO sales (price, sold, rate, paid) VALUES "
                       "(1234.5678, '2026-03-04 17:05:09', 0.125, 1), "
                       "(NULL, NULL, NULL, 0), "
                       "(-2.5, '2026-03-05 00:00:00', 1e20, 0)"));
    Publish({QStringLiteral("sales")});
    client_ = LoggedOn();
    Ask(*client_, "RequestTheTable", {"0", "0"});
  }

  QVariant Column(const QString& column, int id) {
    return Query(QStringLiteral("SELECT %1 FROM sales WHERE id = %2").arg(column).arg(id));
  }

  std::unique_ptr<CorvaneClient> client_;
};

TEST_P(RegionalSessionTest, RecordsSentBackUnchangedStoreTheSameValues) {
  const QString columns = QStringLiteral("quote(price) || quote(sold) || quote(rate) || paid");
  for (int id = 1; id <= 3; ++id) {
    const QString before = Column(columns, id).toString();
    const ClientReply shown = Ask(*client_, "SendTheData");
    ASSERT_EQ(shown.fields.size(), 6);
    EXPECT_EQ(Ask(*client_, "Update", shown.fields.mid(1)).text, shown.text);
    EXPECT_EQ(Column(columns, id).toString(), before) << id;
    Ask(*client_, "Next");
  }
  // A Null money or date value is the empty text.
  Ask(*client_, "First");
  const ClientReply second = Ask(*client_, "Next");
  EXPECT_EQ(second.fields.mid(1), (QList<QByteArray>{"2", "", "", "0", "False"}));
}

TEST_P(RegionalSessionTest, ChangedTextsAreReadUnderTheRegionalSettings) {
  const bool german = locale_.language() == QLocale::German;
  const QByteArray price = german ? "99,50 \x80" : "$99.50";
  const QByteArray sold = german ? "31.01.2027 08:00:00" : "1/31/2027 8:00:00 AM";
  const QByteArray rate = german ? "2,5" : "2.5";
  const ClientReply reply = Ask(*client_, "Update", {"1", price, sold, rate, "True"});
  EXPECT_EQ(reply.fields.value(3), sold);
  EXPECT_DOUBLE_EQ(Column(QStringLiteral("price"), 1).toDouble(), 99.5);
  EXPECT_EQ(Column(QStringLiteral("sold"), 1).toString(), QStringLiteral("2027-01-31 08:00:00"));
  EXPECT_DOUBLE_EQ(Column(QStringLiteral("rate"), 1).toDouble(), 2.5);
  EXPECT_EQ(Ask(*client_, "SendTheData").fields.value(4), rate);
}

INSTANTIATE_TEST_SUITE_P(Locales, RegionalSessionTest, ::testing::Values("en_US", "de_DE"));

}  // namespace
}  // namespace corvane::test

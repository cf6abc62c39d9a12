// Money and dates as clients see them under regional settings with a decimal comma, and
// records sent back unchanged that store exactly what was there.
#include "db_session_fixture.h"

namespace corvane::test {
namespace {

class RegionalSessionTest : public DbSessionTest {
 protected:
  void SetUp() override {
    locale_ = QLocale(QLocale::German, QLocale::Germany);
    DbSessionTest::SetUp();
    Exec(
        "CREATE TABLE sales (id INTEGER PRIMARY KEY AUTOINCREMENT, price CURRENCY, "
        "sold DATETIME, rate DOUBLE, paid YESNO);"
        "INSERT INTO sales (price, sold, rate, paid) VALUES "
        "(1234.5678, '2026-03-04 17:05:09', 0.125, 1), (NULL, NULL, NULL, 0), "
        "(-2.5, '2026-03-05 00:00:00', 1e20, 0)");
    Publish({"sales"});
    client_ = LoggedOn();
    Ask(*client_, "RequestTheTable", {"0", "0"});
  }
  QString Row(int id) {
    return Query(QStringLiteral("SELECT quote(price) || quote(sold) || quote(rate) || paid "
                                "FROM sales WHERE id = %1")
                     .arg(id))
        .toString();
  }
  std::unique_ptr<CorvaneClient> client_;
};

TEST_F(RegionalSessionTest, RecordsSentBackUnchangedStoreTheSameValues) {
  for (int id = 1; id <= 3; ++id) {
    const QString before = Row(id);
    const ClientReply shown = Ask(*client_, "SendTheData");
    ASSERT_EQ(shown.fields.size(), 6);
    if (id == 2) {  // a Null money or date value is the empty text
      EXPECT_EQ(shown.fields.mid(1), (QList<QByteArray>{"2", "", "", "0", "False"}));
    }
    EXPECT_EQ(Ask(*client_, "Update", shown.fields.mid(1)).text, shown.text);
    EXPECT_EQ(Row(id), before) << id;
    Ask(*client_, "Next");
  }
}

TEST_F(RegionalSessionTest, ChangedTextsAreReadUnderTheRegionalSettings) {
  const ClientReply reply =
      Ask(*client_, "Update", {"1", "99,50 \x80", "31.01.2027 08:00:00", "2,5", "True"});
  EXPECT_EQ(reply.fields.value(3), "31.01.2027 08:00:00");
  EXPECT_EQ(Row(1), "99.5'2027-01-31 08:00:00'2.51");
  EXPECT_EQ(Ask(*client_, "SendTheData").fields.value(4), "2,5");
}

}  // namespace
}  // namespace corvane::test

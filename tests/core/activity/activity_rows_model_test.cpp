#include "activity/activity_rows_model.h"

#include <gtest/gtest.h>

#include <QHostAddress>

#include "activity/activity_timestamp.h"
#include "activity/host_identity.h"

namespace corvane::test {
namespace {

ActivityRow RowNamed(const QString& event) { return {event, "U", "D", "T", "1", "d", "t"}; }

TEST(ActivityRowsModel, ShowsSevenCaptionedColumns) {
  ActivityRowsModel model;
  QStringList captions;
  for (int column = 0; column < model.columnCount(); ++column) {
    captions.append(model.headerData(column, Qt::Horizontal).toString());
  }
  EXPECT_EQ(captions,
            QStringList({"Event", "User", "Database", "Table/Query", "Record", "Date", "Time"}));
  model.AppendRow({"E", "U", "D", "T", "R", "Da", "Ti"});
  EXPECT_EQ(model.data(model.index(0, 3)).toString(), "T");
  EXPECT_EQ(model.data(model.index(0, 6)).toString(), "Ti");
}

TEST(ActivityRowsModel, AnnouncesEveryAppendedRowAndClearingKeepsTheFirst) {
  ActivityRowsModel model;
  QStringList announced;
  QObject::connect(&model, &ActivityRowsModel::RowAppended,
                   [&](const ActivityRow& row) { announced.append(row.event); });
  model.AppendRow(RowNamed("a"));
  model.AppendRow(RowNamed("b"));
  EXPECT_EQ(announced, QStringList({"a", "b"}));
  EXPECT_EQ(model.rowCount(), 2);
  for (int count : {0, 1, 5}) {
    ActivityRowsModel cleared;
    for (int i = 0; i < count; ++i) cleared.AppendRow(RowNamed(QString::number(i)));
    cleared.ClearActivity();
    EXPECT_EQ(cleared.rowCount(), count == 0 ? 0 : 1) << count;
    if (count > 0) {
      EXPECT_EQ(cleared.Row(0).event, "0");
    }
  }
}

TEST(ActivityRowsModel, ALimitKeepsTheFirstAndTheNewestRowsButAnnouncesEvery) {
  ActivityRowsModel model;
  int announced = 0;
  QObject::connect(&model, &ActivityRowsModel::RowAppended, [&] { ++announced; });
  for (int i = 0; i < 10; ++i) model.AppendRow(RowNamed(QString::number(i)));
  model.SetRowLimit(4);
  ASSERT_EQ(model.rowCount(), 4);
  EXPECT_EQ(model.Row(0).event, "0");
  EXPECT_EQ(model.Row(1).event, "7");
  model.AppendRow(RowNamed("10"));
  ASSERT_EQ(model.rowCount(), 4);
  EXPECT_EQ(model.Row(1).event, "8");
  EXPECT_EQ(model.Row(3).event, "10");
  EXPECT_EQ(announced, 11);
  model.SetRowLimit(0);
  for (int i = 0; i < 10; ++i) model.AppendRow(RowNamed("more"));
  EXPECT_EQ(model.rowCount(), 14);
}

TEST(ActivityLineText, JoinsColumnsWithFiveSpaces) {
  EXPECT_EQ(ActivityLineText({"E", "", "D", "", "", "1/2/26", "3:04:05"}),
            "E          D               1/2/26     3:04:05");
  EXPECT_EQ(ActivityLineText({"a\tb\x7f", "", "", "", "", "", ""}), "a b " + QString(30, ' '));
}

TEST(ActivityTimestamp, TimeHasNoZonePart) {
  EXPECT_EQ(TimeFormatWithoutZone("HH:mm:ss t"), "HH:mm:ss");
  EXPECT_EQ(TimeFormatWithoutZone("h:mm:ss AP t"), "h:mm:ss AP");
  EXPECT_EQ(TimeFormatWithoutZone("t HH:mm:ss"), "HH:mm:ss");
  EXPECT_EQ(TimeFormatWithoutZone("HH 'h' mm 'et' ss tttt"), "HH 'h' mm 'et' ss");
  EXPECT_EQ(TimeFormatWithoutZone("HH:mm t 'x'"), "HH:mm 'x'");
  EXPECT_EQ(ActivityTimeText(QTime(7, 8, 9), QLocale::c()), "07:08:09");
  EXPECT_EQ(ActivityTimeText(QTime(17, 8, 9), QLocale(QLocale::German, QLocale::Germany)),
            "17:08:09");
}

TEST(HostIdentity, NamesThisComputer) {
  const HostIdentity host = LocalHostIdentity();
  EXPECT_EQ(host.host_name, host.host_name.toUpper());
  QHostAddress address;
  ASSERT_TRUE(address.setAddress(host.ip_address));
  EXPECT_EQ(address.protocol(), QAbstractSocket::IPv4Protocol);
}

}  // namespace
}  // namespace corvane::test

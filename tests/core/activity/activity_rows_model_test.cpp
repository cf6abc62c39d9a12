#include "activity/activity_rows_model.h"

#include <gtest/gtest.h>

#include "activity/activity_timestamp.h"

namespace corvane::test {
namespace {

ActivityRow RowNamed(const QString& event) { return {event, "U", "D", "T", "1", "d", "t"}; }

TEST(ActivityRowsModel, ClearingKeepsTheFirstRow) {
  for (int count : {0, 1, 5}) {
    ActivityRowsModel model;
    for (int i = 0; i < count; ++i) model.AppendRow(RowNamed(QString::number(i)));
    model.ClearActivity();
    ASSERT_EQ(model.rowCount(), count == 0 ? 0 : 1) << count;
    if (count > 0) {
      EXPECT_EQ(model.Row(0).event, "0");
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

TEST(ActivityTimestamp, TimeHasNoZonePart) {
  EXPECT_EQ(TimeFormatWithoutZone("h:mm:ss AP t"), "h:mm:ss AP");
  EXPECT_EQ(TimeFormatWithoutZone("t HH:mm:ss"), "HH:mm:ss");
  EXPECT_EQ(TimeFormatWithoutZone("HH 'h' mm 'et' ss tttt"), "HH 'h' mm 'et' ss");
  EXPECT_EQ(TimeFormatWithoutZone("HH:mm t 'x'"), "HH:mm 'x'");
  EXPECT_EQ(ActivityTimeText(QTime(7, 8, 9), QLocale::c()), "07:08:09");
}

}  // namespace
}  // namespace corvane::test

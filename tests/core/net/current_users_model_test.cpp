#include "commands/current_users_model.h"

#include <gtest/gtest.h>

#include "base/printable_bytes.h"

namespace corvane::test {
namespace {

TEST(CurrentUsersModelTest, ColumnsRowsAndSlotTag) {
  CurrentUsersModel model;
  const QStringList captions = {"Local Port", "User", "Remote I.P.", "Database", "Table/Query"};
  ASSERT_EQ(model.columnCount(), captions.size());
  for (int column = 0; column < captions.size(); ++column) {
    EXPECT_EQ(model.headerData(column, Qt::Horizontal).toString(), captions[column]);
  }
  model.AddRow({"49152", "bob", "10.0.0.5", "Orders.mdb", "Customers", 7});
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.data(model.index(0, 0)).toString(), "49152");
  EXPECT_EQ(model.data(model.index(0, 4)).toString(), "Customers");
  EXPECT_EQ(model.data(model.index(0, 0), CurrentUsersModel::SlotRole).toInt(), 7);
  model.Clear();
  EXPECT_EQ(model.rowCount(), 0);
}

TEST(PrintableBytesTest, ControlCharactersByName) {
  const char bytes[] = {'\x02', 'D', 'a', 't', 'a', '\x04', '\x03', '\x7F', '\0', 'x'};
  EXPECT_EQ(PrintableBytes(QByteArray(bytes, sizeof bytes)), "<STX>Data<EOT><ETX><DEL><NUL>x");
  EXPECT_EQ(PrintableBytes("\x80\xE9"), QString::fromUtf8("€é"));
}

}  // namespace
}  // namespace corvane::test

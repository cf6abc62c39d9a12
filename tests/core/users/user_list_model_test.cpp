#include "config/user_list_model.h"

#include <gtest/gtest.h>

namespace corvane::test {
namespace {

TEST(UserListModel, ShowsNameAndKeyAndKeepsThePasswordAsTag) {
  UserListModel list;
  list.Append({"BOB", "SECRET", "12345678"});
  ASSERT_EQ(list.rowCount(), 1);
  ASSERT_EQ(list.columnCount(), 2);
  EXPECT_EQ(list.headerData(0, Qt::Horizontal).toString(), "Remote Host");
  EXPECT_EQ(list.headerData(1, Qt::Horizontal).toString(), "Private Key");
  EXPECT_EQ(list.data(list.index(0, 0)).toString(), "BOB");
  EXPECT_EQ(list.data(list.index(0, 1)).toString(), "12345678");
  EXPECT_EQ(list.data(list.index(0, 0), UserListModel::PasswordRole).toString(), "SECRET");
}

}  // namespace
}  // namespace corvane::test

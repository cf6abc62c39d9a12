#include "core/config/user_list_model.h"

#include <gtest/gtest.h>

namespace corvane {
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

TEST(UserListModel, AppendEditRemoveKeepListOrder) {
  UserListModel list;
  EXPECT_EQ(list.Append({"A", "1", "1"}), 0);
  EXPECT_EQ(list.Append({"B", "2", "2"}), 1);
  EXPECT_EQ(list.Append({"C", "3", "3"}), 2);
  EXPECT_TRUE(list.Edit(1, {"B2", "22", "2"}));
  EXPECT_FALSE(list.Edit(3, {"X", "", ""}));
  EXPECT_TRUE(list.Remove(0));
  EXPECT_FALSE(list.Remove(-1));
  EXPECT_EQ(list.Users(), (QList<UserRecord>{{"B2", "22", "2"}, {"C", "3", "3"}}));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace corvane

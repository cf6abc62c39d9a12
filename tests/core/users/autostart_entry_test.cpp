// The desktop's autostart entry that "Run at startup" adds and removes.
#include "config/autostart_entry.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "support/file_bytes.h"

namespace corvane::test {
namespace {

QByteArray ExecLine(const QByteArray& text) {
  for (const QByteArray& line : text.split('\n')) {
    if (line.startsWith("Exec=")) return line;
  }
  return {};
}

class AutostartEntryTest : public ::testing::Test {
 protected:
  AutostartPlaces Places(const QString& executable = "/opt/corvane/corvane-server") const {
    return {executable, "/opt/corvane", dir_.filePath("config/autostart")};
  }
  QTemporaryDir dir_;
};

TEST_F(AutostartEntryTest, AddedOnceNeverRewrittenAndRemoved) {
  AutostartEntry entry("/opt/corvane", Places());
  entry.SetRunAtStartup(false);  // nothing to remove
  EXPECT_FALSE(entry.IsPresent());
  entry.SetRunAtStartup(true);
  ASSERT_TRUE(entry.IsPresent());
  EXPECT_EQ(entry.FilePath(), dir_.filePath("config/autostart/corvane-server.desktop"));
  const QByteArray text = ReadFileBytes(entry.FilePath());
  EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
  EXPECT_TRUE(text.contains("\nType=Application\n"));
  // The default directory is not named.
  EXPECT_EQ(ExecLine(text), "Exec=\"/opt/corvane/corvane-server\"");
  // An entry that is there, even another's, is left as it is.
  ASSERT_TRUE(WriteFileBytes(entry.FilePath(), "old entry"));
  AutostartEntry("/srv/elsewhere", Places("/new/place/corvane-server")).SetRunAtStartup(true);
  EXPECT_EQ(ReadFileBytes(entry.FilePath()), "old entry");
  entry.SetRunAtStartup(false);
  EXPECT_FALSE(entry.IsPresent());
}

TEST_F(AutostartEntryTest, NamesAnotherDirectoryQuotingBlanksAndReservedCharacters) {
  EXPECT_EQ(ExecLine(AutostartEntry("/opt/corvane/", Places()).EntryText()),
            "Exec=\"/opt/corvane/corvane-server\"");
  const AutostartEntry entry("/srv/a$b\\c%d \"e\"", Places("/opt/my dir/corvane-server"));
  // Quoted: $ \ " get a backslash, % doubles; then every backslash doubles once more.
  EXPECT_EQ(ExecLine(entry.EntryText()),
            "Exec=\"/opt/my dir/corvane-server\" --dir \"/srv/a\\\\$b\\\\\\\\c%%d \\\\\"e\\\\\"\"");
}

}  // namespace
}  // namespace corvane::test

// A live server process whose file descriptors run out while clients crowd its ports: once
// descriptors are free again, both the TCP listener and the web port accept again.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "client/event_wait.h"
#include "support/file_bytes.h"
#include "support/raw_http.h"
#include "support/server_process.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

int OpenDescriptors(qint64 pid) {
  int count = 0;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    ++count;
  }
  return count;
}

class ListenerRecoveryTest : public ServerProcessTest {
 protected:
  void TearDown() override {
    if (lowered_) RestoreLimit();
    ServerProcessTest::TearDown();
  }
  bool LowerLimit(rlim_t most) {
    if (prlimit(static_cast<pid_t>(server_.processId()), RLIMIT_NOFILE, nullptr, &saved_) != 0)
      return false;
    rlimit lowered = saved_;
    lowered.rlim_cur = most;
    lowered_ =
        prlimit(static_cast<pid_t>(server_.processId()), RLIMIT_NOFILE, &lowered, nullptr) == 0;
    return lowered_;
  }
  void RestoreLimit() {
    prlimit(static_cast<pid_t>(server_.processId()), RLIMIT_NOFILE, &saved_, nullptr);
    lowered_ = false;
  }

  rlimit saved_{};
  bool lowered_ = false;
};

bool WebAnswers(quint16 port) {
  RawHttp web(port);
  web.Write("GET /app.css HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  return web.ReadUntil(HasWholeAnswer, 4000).startsWith("HTTP/1.1 200");
}

TEST_F(ListenerRecoveryTest, BothPortsAcceptAgainOnceDescriptorsAreFree) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // The sanitizers' runtime needs descriptors of its own to check a pointer: with none left
  // it reports a false "invalid vptr" and ends the server. The normal build runs this test.
  GTEST_SKIP() << "needs a build without sanitizers";
#endif
  WriteSetup({"shop.db"});
  ExecOnFile(Path("shop.db"), "CREATE TABLE t (id INTEGER PRIMARY KEY)");
  quint16 webPort = FreeListenPort();
  while (webPort == port_) webPort = FreeListenPort();
  ASSERT_TRUE(WriteFileBytes(Path("web.dat"), QByteArray::number(webPort) + "\r\n"));
  StartServer();
  ASSERT_TRUE(WaitForOutput("Web Access").contains("Web Access"));
  ASSERT_TRUE(WebAnswers(webPort));

  // Room for two more descriptors, and more connections than that waiting.
  ASSERT_TRUE(LowerLimit(static_cast<rlim_t>(OpenDescriptors(server_.processId()) + 2)));
  std::vector<std::unique_ptr<RawHttp>> crowd;
  for (int i = 0; i < 6; ++i) crowd.push_back(std::make_unique<RawHttp>(webPort));
  WaitUntil([] { return false; }, 300);
  CorvaneClient starved(1500);
  const std::optional<quint16> none = starved.RequestSlotPort("127.0.0.1", port_);
  EXPECT_TRUE(!none || *none == 0) << "the listener still had descriptors to spare";

  // The crowd leaves and descriptors are there again.
  crowd.clear();
  RestoreLimit();
  CorvaneClient later(5000);
  const std::optional<quint16> port = later.RequestSlotPort("127.0.0.1", port_);
  ASSERT_TRUE(port);
  EXPECT_NE(*port, 0);
  auto client = LoggedOn();
  EXPECT_EQ(client->Request("ThankYou")->fields, QList<QByteArray>{"shop.db"});
  EXPECT_TRUE(WebAnswers(webPort));
}

}  // namespace
}  // namespace corvane::test

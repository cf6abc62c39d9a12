// The web port against clients that misbehave on purpose: huge or endless bodies, headers
// that never end, idle connections and floods of connections. Raw sockets talk to a live
// web server; each case also checks that well-formed requests are still answered.
#include <gtest/gtest.h>

#include "client/event_wait.h"
#include "core/db/db_session_fixture.h"
#include "support/raw_http.h"
#include "transport/web/web_server.h"

namespace corvane::test {
namespace {

WebLimits ShortLimits() {
  WebLimits limits;
  limits.headerTimeoutMs = 600;
  limits.idleTimeoutMs = 400;
  // Long enough for a mebibyte sent in pieces by a sanitizer build.
  limits.bodyTimeoutMs = 4000;
  limits.mostConnectionsPerAddress = 3;
  limits.mostConnections = 4;
  limits.lingerMs = 500;
  return limits;
}

QByteArray Post(const QByteArray& path, const QByteArray& headers) {
  return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" +
         headers + "\r\n";
}

QByteArray Chunk(const QByteArray& data) {
  return QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n";
}

class WebGuardTest : public DbSessionTest {
 protected:
  void SetUp() override {
    DbSessionTest::SetUp();
    web_ =
        std::make_unique<WebServer>(server_.slots(), dir_.path(), &server_.activity, ShortLimits());
    ASSERT_TRUE(web_->Start(0, QHostAddress::LocalHost));
  }
  void TearDown() override { web_.reset(); }

  quint16 port() const { return web_->Port(); }

  std::unique_ptr<WebServer> web_;
};

TEST_F(WebGuardTest, AHugeDeclaredBodyIsRefusedBeforeItIsSent) {
  RawHttp client(port());
  client.Write(Post("/api/logon", "Content-Length: 268435456\r\n"));
  client.Write(QByteArray(64 * 1024, '{'));
  const QByteArray answer = client.ReadUntil(HasWholeAnswer);
  EXPECT_TRUE(answer.startsWith("HTTP/1.1 413")) << answer.left(80).constData();
  EXPECT_TRUE(answer.contains("Request too large"));
  // The answer came while nearly all of the body was still to be sent.
  EXPECT_LT(client.sent(), 128 * 1024);
  EXPECT_TRUE(client.ClosedWithin(3000));
}

TEST_F(WebGuardTest, AChunkedBodyIsRefusedOnceItsChunksPassTheLimit) {
  RawHttp client(port());
  client.Write(Post("/api/logon", "Transfer-Encoding: chunked\r\n"));
  const QByteArray piece(64 * 1024, ' ');
  int chunks = 0;
  while (client.Connected() && chunks < 40 && !HasWholeAnswer(client.received())) {
    client.Write(Chunk(piece));
    ++chunks;
    client.ReadUntil(HasWholeAnswer, 20);
  }
  const QByteArray answer = client.ReadUntil(HasWholeAnswer);
  EXPECT_TRUE(answer.startsWith("HTTP/1.1 413")) << answer.left(80).constData();
  // Refused with the chunk that passed one mebibyte, not at the end of the body.
  EXPECT_LE(chunks, 18);
}

TEST_F(WebGuardTest, WellFormedRequestsAreAnsweredChunkedPipelinedKeptAliveThenClosedIdle) {
  RawHttp client(port());
  const QByteArray json = R"({"user":"bob","password":"secret"})";
  client.Write(Post("/api/logon", "Transfer-Encoding: chunked\r\n") + Chunk(json.left(10)) +
               Chunk(json.mid(10)) + "0\r\n\r\n");
  ASSERT_EQ(client.Answers(1), 1);
  EXPECT_TRUE(client.received().startsWith("HTTP/1.1 200")) << client.received().constData();
  // Two requests in one write, then one more on the same connection.
  client.Write(
      "GET /app.css HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
      "GET /app.js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_EQ(client.Answers(3), 3);
  client.Write(Post("/api/logoff", "Content-Length: 2\r\n") + "{}");
  EXPECT_EQ(client.Answers(4), 4);
  EXPECT_TRUE(client.Connected());
  // Left idle after its answer, the connection is closed.
  EXPECT_TRUE(client.ClosedWithin(2000));
}

TEST_F(WebGuardTest, AHeaderOrBodyThatNeverEndsOrNeverComesIsCutOff) {
  RawHttp silent(port());
  RawHttp trickling(port());
  trickling.Write("GET / HTTP/1.1\r\n");
  RawHttp slowBody(port());
  slowBody.Write("POST /api/logon HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100\r\n\r\n");
  // A byte now and then keeps neither a header nor a body alive past its time.
  for (int i = 0; i < 50 && (trickling.Connected() || slowBody.Connected()); ++i) {
    if (trickling.Connected()) trickling.Write("X");
    if (slowBody.Connected()) slowBody.Write("x");
    trickling.ReadUntil([](const QByteArray&) { return false; }, 100);
  }
  EXPECT_TRUE(silent.ClosedWithin(1000));
  EXPECT_TRUE(trickling.ClosedWithin(200));
  EXPECT_TRUE(slowBody.ClosedWithin(200));
  EXPECT_FALSE(HasWholeAnswer(trickling.received()));
  EXPECT_FALSE(HasWholeAnswer(slowBody.received()));
}

TEST_F(WebGuardTest, ConnectionsAreCappedPerAddressAndInAll) {
  std::vector<std::unique_ptr<RawHttp>> mine;
  for (int i = 0; i < 3; ++i) mine.push_back(std::make_unique<RawHttp>(port()));
  RawHttp fourth(port());
  // Closed at once, well before any timeout.
  EXPECT_TRUE(fourth.ClosedWithin(300));
  for (const auto& one : mine) EXPECT_TRUE(one->Connected());

  // Another address still gets in, until the server holds its most.
  const QHostAddress other(QStringLiteral("127.0.0.2"));
  RawHttp elsewhere(port(), other);
  RawHttp tooMany(port(), other);
  EXPECT_TRUE(tooMany.ClosedWithin(300));
  EXPECT_TRUE(elsewhere.Connected());

  // A closed connection gives its place back.
  mine.pop_back();
  WaitUntil([] { return false; }, 100);
  RawHttp again(port());
  again.Write("GET /app.css HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_EQ(again.Answers(1), 1);
}

}  // namespace
}  // namespace corvane::test

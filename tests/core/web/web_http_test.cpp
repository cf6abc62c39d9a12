#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

#include "client/event_wait.h"
#include "core/db/db_session_fixture.h"
#include "transport/web/web_routes.h"
#include "transport/web/web_server.h"

namespace corvane::test {
namespace {

struct HttpResult {
  int status = 0;
  QByteArray body;
  QJsonObject json;
  QList<QNetworkReply::RawHeaderPair> headers;
  QByteArray Header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
      if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    }
    return {};
  }
};

class WebHttpTest : public DbSessionTest {
 protected:
  void SetUp() override {
    DbSessionTest::SetUp();
    MakePeople(path_, {"Ann", "Bob"});
    Publish({"people"});
  }

  bool StartWeb(const WebLimits& limits = {}) {
    web_ = std::make_unique<WebServer>(server_.slots(), dir_.path(), &server_.activity, limits);
    return web_->Start(0, QHostAddress::LocalHost);
  }

  QUrl Url(const QString& path) const {
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                    .arg(web_->Secure() ? QStringLiteral("https") : QStringLiteral("http"))
                    .arg(web_->Port())
                    .arg(path));
  }

  HttpResult Send(const QString& path, const QByteArray& body = {},
                  const QByteArray& type = "application/json") {
    QNetworkRequest request(Url(path));
    QNetworkReply* reply;
    if (body.isNull()) {
      reply = net_.get(request);
    } else {
      request.setHeader(QNetworkRequest::ContentTypeHeader, type);
      reply = net_.post(request, body);
    }
    // The certificate of the tests is their own.
    QObject::connect(reply, &QNetworkReply::sslErrors, reply,
                     [reply](const QList<QSslError>&) { reply->ignoreSslErrors(); });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    HttpResult result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    result.json = QJsonDocument::fromJson(result.body).object();
    result.headers = reply->rawHeaderPairs();
    reply->deleteLater();
    return result;
  }

  bool HasNote(const QString& part) const {
    for (const auto& note : server_.activity.notes) {
      if (note.second.contains(part)) return true;
    }
    return false;
  }

  QNetworkAccessManager net_;
  std::unique_ptr<WebServer> web_;
};

TEST_F(WebHttpTest, ServesThePagesWithStrictHeadersAndALogonCookieCarriesTheSession) {
  ASSERT_TRUE(StartWeb());
  EXPECT_FALSE(web_->Secure());
  EXPECT_TRUE(HasNote(QStringLiteral("plain HTTP")));
  const HttpResult page = Send("/");
  EXPECT_EQ(page.status, 200);
  EXPECT_TRUE(page.Header("Content-Type").startsWith("text/html"));
  EXPECT_TRUE(page.body.contains("app.js"));
  EXPECT_TRUE(page.Header("Content-Security-Policy").contains("default-src 'self'"));
  for (const char* path : {"/app.js", "/app.css"}) {
    EXPECT_EQ(Send(QString::fromLatin1(path)).status, 200) << path;
  }
  EXPECT_EQ(Send("/../web.dat").status, 404);
  EXPECT_EQ(Send("/api/nothing", "{}").status, 404);

  // The logon sets a strict cookie that carries the session.
  EXPECT_FALSE(Send("/api/session").json.value("loggedOn").toBool());
  const HttpResult logon = Send("/api/logon", R"({"user":"bob","password":"secret"})");
  EXPECT_EQ(logon.status, 200);
  const QByteArray cookie = logon.Header("Set-Cookie");
  EXPECT_TRUE(cookie.startsWith("corvane_session="));
  EXPECT_TRUE(cookie.contains("HttpOnly"));
  EXPECT_TRUE(cookie.contains("SameSite=Strict"));
  EXPECT_FALSE(cookie.contains("Secure"));
  EXPECT_EQ(logon.json.value("user").toString(), "bob");
  EXPECT_TRUE(Send("/api/session").json.value("loggedOn").toBool());
  // The session's slot counts among the users; no refresh takes it for an idle connection.
  EXPECT_EQ(server_.slots().RefreshStatus().users, "Users: 1");
  EXPECT_EQ(Events("Logon"), 1);

  // Fields: the record count, then the names; for the form, each field's length and
  // whether it is a memo.
  const HttpResult run =
      Send("/api/run", R"({"commands":[{"command":"RequestTheTable","fields":["0","0"]},)"
                       R"({"command":"Last","fields":[]}]})");
  EXPECT_EQ(run.status, 200);
  EXPECT_EQ(run.body.toStdString(),
            std::string(R"({"loggedOn":true,"replies":[[{"fields":["2","id","name","age"],)"
                        R"("maxLength":[0,10,0],"memo":[false,false,false],"word":"Fields"}],)"
                        R"([{"fields":["2","2","Bob","20"],"word":"Data"}]]})"));
  // The browser's address is the slot's remote address.
  EXPECT_EQ(server_.slots().Slot(0).session().SlotRemoteAddress, QStringLiteral("127.0.0.1"));

  // Forms of other sites cannot post JSON.
  EXPECT_EQ(Send("/api/run", R"({"commands":[{"command":"First"}]})", "text/plain").status, 415);
  EXPECT_EQ(Send("/api/run", "not json").status, 400);

  const HttpResult logoff = Send("/api/logoff", "{}");
  EXPECT_TRUE(logoff.Header("Set-Cookie").contains("Max-Age=0"));
  EXPECT_EQ(Send("/api/run", R"({"commands":[{"command":"First"}]})").status, 401);
  EXPECT_EQ(Events("Logoff"), 1);
  EXPECT_EQ(server_.slots().ConnectedCount(), 0);

  // A wrong password sets no cookie and delays the next try.
  const HttpResult wrong = Send("/api/logon", R"({"user":"bob","password":"guess"})");
  EXPECT_EQ(wrong.status, 401);
  EXPECT_TRUE(wrong.Header("Set-Cookie").isEmpty());
  EXPECT_EQ(Send("/api/logon", R"({"user":"bob","password":"secret"})").status, 429);
}

TEST_F(WebHttpTest, HttpsUsesTheCertificateFilesAndCountsConnectionsBeforeTheirHandshake) {
  const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
  if (openssl.isEmpty()) GTEST_SKIP() << "openssl is not installed";
  // Only one of the two files: never plain HTTP instead.
  QFile cert(WebServer::CertificatePath(dir_.path()));
  ASSERT_TRUE(cert.open(QIODevice::WriteOnly));
  cert.write("not a certificate");
  cert.close();
  EXPECT_FALSE(StartWeb());
  EXPECT_TRUE(HasNote(QStringLiteral("web-key.pem")));

  QProcess make;
  make.start(openssl, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                       "/CN=127.0.0.1", "-keyout", WebServer::KeyPath(dir_.path()), "-out",
                       WebServer::CertificatePath(dir_.path())});
  ASSERT_TRUE(make.waitForFinished(60000));
  ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().constData();
  ASSERT_TRUE(StartWeb());
  EXPECT_TRUE(web_->Secure());
  EXPECT_TRUE(HasNote(QStringLiteral("HTTPS")));
  const HttpResult logon = Send("/api/logon", R"({"user":"bob","password":"secret"})");
  EXPECT_EQ(logon.status, 200);
  EXPECT_TRUE(logon.Header("Set-Cookie").contains("Secure"));

  // Silent connections count before their handshake: past the address's three each is cut at
  // once, the rest at the deadline, and the port serves on (before: stopped for good).
  WebLimits limits;
  limits.mostConnectionsPerAddress = 3;
  limits.tlsHandshakeTimeoutMs = 500;
  ASSERT_TRUE(StartWeb(limits));
  QTcpSocket crowd[31];
  for (QTcpSocket& socket : crowd) {
    socket.bind(QHostAddress(QStringLiteral("127.0.0.2")));
    socket.connectToHost(QHostAddress::LocalHost, web_->Port());
  }
  const auto open = [&crowd] {
    return std::count_if(std::begin(crowd), std::end(crowd), [](const QTcpSocket& socket) {
      return socket.state() != QAbstractSocket::UnconnectedState;
    });
  };
  EXPECT_TRUE(WaitUntil([&] { return open() == 3; }, 1000)) << open() << " open";
  EXPECT_TRUE(WaitUntil([&] { return open() == 0; }, 2000));
  EXPECT_EQ(Send("/api/session").status, 200);
}

TEST(WebCookie, OnlyAHexadecimalSessionTokenIsRead) {
  EXPECT_EQ(SessionTokenFrom("theme=dark; corvane_session=00ab9f; x=1"), QStringLiteral("00ab9f"));
  EXPECT_EQ(SessionTokenFrom("corvane_session=ab'cd"), QString());
  EXPECT_EQ(SessionTokenFrom("other_corvane_session=abcd"), QString());
  EXPECT_EQ(SessionTokenFrom(""), QString());
  EXPECT_EQ(SessionCookie(QStringLiteral("ab"), true),
            "corvane_session=ab; Path=/; HttpOnly; SameSite=Strict; Secure");
}

}  // namespace
}  // namespace corvane::test

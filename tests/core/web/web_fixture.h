#pragma once

// A server with the database commands over a SQLite file, its web interface (WebApi) on a
// clock the test sets, and helpers that run client commands as a browser would.

#include <QJsonArray>
#include <QJsonObject>

#include "core/db/db_session_fixture.h"
#include "transport/web/web_api.h"

namespace corvane::test {

class WebApiTest : public DbSessionTest {
 protected:
  void SetUp() override {
    DbSessionTest::SetUp();
    MakePeople(path_, {QStringLiteral("Ann"), QStringLiteral("Bob"), QStringLiteral("Cy")});
    Publish({QStringLiteral("people")});
    api_ = std::make_unique<WebApi>(server_.slots(), 8080, [this] { return now_; });
  }
  void TearDown() override { api_.reset(); }

  // Logs on from `address`; the session token, empty when refused.
  QString LogOn(const QString& user = QStringLiteral("bob"),
                const QString& password = QStringLiteral("secret"),
                const QString& address = QStringLiteral("192.0.2.7")) {
    last_ = api_->Logon(address,
                        {{QStringLiteral("user"), user}, {QStringLiteral("password"), password}});
    return last_.sessionToken.value_or(QString());
  }

  static QJsonObject Command(const QString& word, const QStringList& fields = {}) {
    return {{QStringLiteral("command"), word},
            {QStringLiteral("fields"), QJsonArray::fromStringList(fields)}};
  }

  // Runs the commands; the replies of each, as "Word|field|field".
  QList<QStringList> Run(const QString& token, const QList<QJsonObject>& commands) {
    QJsonArray list;
    for (const QJsonObject& command : commands) list.append(command);
    last_ = api_->Run(token, {{QStringLiteral("commands"), list}});
    QList<QStringList> result;
    for (const QJsonValue& perCommand : last_.body.value(QStringLiteral("replies")).toArray()) {
      QStringList texts;
      for (const QJsonValue& reply : perCommand.toArray()) {
        QStringList parts{reply[QStringLiteral("word")].toString()};
        for (const QJsonValue& field : reply[QStringLiteral("fields")].toArray()) {
          parts << field.toString();
        }
        texts << parts.join(QLatin1Char('|'));
      }
      result << texts;
    }
    return result;
  }
  QStringList RunOne(const QString& token, const QString& word, const QStringList& fields = {}) {
    const QList<QStringList> replies = Run(token, {Command(word, fields)});
    return replies.isEmpty() ? QStringList() : replies.front();
  }

  qint64 now_ = 1'000'000;
  WebAnswer last_;
  std::unique_ptr<WebApi> api_;
};

}  // namespace corvane::test

#include "transport/web/web_routes.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonObject>

#include "base/address_text.h"
#include "transport/web/web_api.h"
#include "transport/web/web_server.h"

namespace corvane {
namespace {

using Status = QHttpServerResponse::StatusCode;

struct Page {
  const char* path;
  const char* resource;
  const char* mimeType;
};

constexpr Page kPages[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/web/index.html", "text/html; charset=utf-8"},
    {"/app.css", ":/web/app.css", "text/css; charset=utf-8"},
    {"/app.js", ":/web/app.js", "text/javascript; charset=utf-8"},
};

QByteArray HeaderValue(const QHttpServerRequest& request, const QByteArray& name) {
  for (const auto& [key, value] : request.headers()) {
    if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
  }
  return {};
}

void AddCommonHeaders(QHttpServerResponse& response) {
  response.setHeader("Content-Security-Policy",
                     "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; "
                     "form-action 'self'");
  response.setHeader("X-Content-Type-Options", "nosniff");
  response.setHeader("Referrer-Policy", "no-referrer");
  response.setHeader("Cache-Control", "no-store");
}

QHttpServerResponse Json(const QJsonObject& body, int status) {
  return QHttpServerResponse("application/json", QJsonDocument(body).toJson(QJsonDocument::Compact),
                             static_cast<Status>(status));
}

QHttpServerResponse JsonError(const QString& error, Status status) {
  return QHttpServerResponse(
      "application/json",
      QJsonDocument(QJsonObject{{QStringLiteral("error"), error}}).toJson(QJsonDocument::Compact),
      status);
}

QHttpServerResponse AnswerResponse(const WebAnswer& answer, bool secure) {
  QHttpServerResponse response = Json(answer.body, answer.status);
  if (answer.sessionToken)
    response.setHeader("Set-Cookie", SessionCookie(*answer.sessionToken, secure));
  return response;
}

// A call of the JSON interface; the answer goes to `respond`, at once or when the commands
// it runs are done.
void Api(WebApi& api, const QHttpServerRequest& request, const QString& path, bool secure,
         const WebResponder& respond) {
  const QString token = SessionTokenFrom(HeaderValue(request, "Cookie"));
  if (path == QLatin1String("/api/session") &&
      request.method() == QHttpServerRequest::Method::Get) {
    respond(AnswerResponse(api.Session(token), secure));
    return;
  }
  if (request.method() != QHttpServerRequest::Method::Post) {
    respond(JsonError(QStringLiteral("Method not allowed"), Status::MethodNotAllowed));
    return;
  }
  // Only scripts of the page itself send JSON: forms of other sites cannot.
  if (!HeaderValue(request, "Content-Type").startsWith("application/json")) {
    respond(JsonError(QStringLiteral("Expected JSON"), Status::UnsupportedMediaType));
    return;
  }
  if (request.body().size() > WebServer::kMostBodyBytes) {
    respond(JsonError(QStringLiteral("Request too large"), Status::PayloadTooLarge));
    return;
  }
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(request.body(), &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) {
    respond(JsonError(QStringLiteral("Expected JSON"), Status::BadRequest));
    return;
  }
  const QJsonObject body = document.object();
  const auto answered = [respond, secure](const WebAnswer& answer) {
    respond(AnswerResponse(answer, secure));
  };
  if (path == QLatin1String("/api/logon")) {
    api.Logon(AddressText(request.remoteAddress()), body, answered);
  } else if (path == QLatin1String("/api/logoff")) {
    answered(api.Logoff(token));
  } else if (path == QLatin1String("/api/run")) {
    api.Run(token, body, answered);
  } else {
    respond(JsonError(QStringLiteral("Not found"), Status::NotFound));
  }
}

QHttpServerResponse PageResponse(const QString& path) {
  for (const Page& page : kPages) {
    if (path != QLatin1String(page.path)) continue;
    QFile file(QString::fromLatin1(page.resource));
    if (!file.open(QIODevice::ReadOnly)) break;
    return QHttpServerResponse(QByteArray(page.mimeType), file.readAll());
  }
  return QHttpServerResponse("text/plain", "Not found", Status::NotFound);
}

}  // namespace

QString SessionTokenFrom(const QByteArray& cookieHeader) {
  for (const QByteArray& part : cookieHeader.split(';')) {
    const QByteArray pair = part.trimmed();
    const qsizetype equals = pair.indexOf('=');
    if (equals <= 0 || pair.left(equals) != kSessionCookie) continue;
    const QByteArray value = pair.mid(equals + 1);
    // Tokens are hexadecimal; anything else is no token of ours.
    for (const char c : value) {
      if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
    }
    return QString::fromLatin1(value);
  }
  return {};
}

QByteArray SessionCookie(const QString& token, bool secure) {
  QByteArray cookie =
      QByteArray(kSessionCookie) + '=' + token.toLatin1() + "; Path=/; HttpOnly; SameSite=Strict";
  if (token.isEmpty()) cookie += "; Max-Age=0";
  if (secure) cookie += "; Secure";
  return cookie;
}

void AnswerRequest(WebApi& api, const QHttpServerRequest& request, bool secure,
                   WebResponder respond) {
  const WebResponder withHeaders = [respond = std::move(respond)](QHttpServerResponse response) {
    AddCommonHeaders(response);
    respond(std::move(response));
  };
  const QString path = request.url().path();
  if (path.startsWith(QLatin1String("/api/"))) {
    Api(api, request, path, secure, withHeaders);
  } else if (request.method() == QHttpServerRequest::Method::Get) {
    withHeaders(PageResponse(path));
  } else {
    withHeaders(QHttpServerResponse("text/plain", "Method not allowed", Status::MethodNotAllowed));
  }
}

}  // namespace corvane

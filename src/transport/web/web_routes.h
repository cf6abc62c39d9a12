#pragma once

#include <QByteArray>
#include <QHttpServerResponse>
#include <QString>
#include <functional>

class QHttpServerRequest;

namespace corvane {

class WebApi;

inline constexpr char kSessionCookie[] = "corvane_session";

// The session token in a Cookie header's value; empty when it holds none.
QString SessionTokenFrom(const QByteArray& cookieHeader);
// The Set-Cookie value carrying the token (an empty token clears the cookie).
QByteArray SessionCookie(const QString& token, bool secure);

// Where the answer to one request goes.
using WebResponder = std::function<void(QHttpServerResponse)>;

// Answers one request of the web client: its pages, or a call of its JSON interface. A call
// that runs commands is answered when they are done; everything the answer needs is read
// from `request` before this returns.
void AnswerRequest(WebApi& api, const QHttpServerRequest& request, bool secure,
                   WebResponder respond);

}  // namespace corvane

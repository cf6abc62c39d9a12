#pragma once

#include <QByteArray>
#include <QHttpServerResponse>
#include <QString>

class QHttpServerRequest;

namespace corvane {

class WebApi;

inline constexpr char kSessionCookie[] = "corvane_session";

// The session token in a Cookie header's value; empty when it holds none.
QString SessionTokenFrom(const QByteArray& cookieHeader);
// The Set-Cookie value carrying the token (an empty token clears the cookie).
QByteArray SessionCookie(const QString& token, bool secure);

// Answers one request of the web client: its pages, or a call of its JSON interface.
QHttpServerResponse AnswerRequest(WebApi& api, const QHttpServerRequest& request, bool secure);

}  // namespace corvane

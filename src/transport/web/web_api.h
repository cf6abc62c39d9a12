#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "transport/web/web_sessions.h"
#include "transport/web/web_slot_host.h"

namespace corvane {

// What the browser is answered: the HTTP status, the JSON body and, when the session
// begins or ends, the new cookie value (empty to clear it).
struct WebAnswer {
  int status = 200;
  QJsonObject body;
  std::optional<QString> sessionToken;
};

// The JSON interface of the web client. A browser logs on and then runs the client
// protocol's commands on its own slot; each command's replies come back as word and fields.
// Nothing else is accepted: no logon through "run", no command word outside the client's.
// Commands doing database work finish later (on a worker thread), so the calls that run
// commands answer through a callback; nothing is answered once the web access stopped.
class WebApi {
 public:
  using Answer = std::function<void(WebAnswer)>;

  WebApi(WebSlotHost& slots, quint16 localPort);
  // Frees the slots of the sessions still open.
  ~WebApi();
  WebApi(const WebApi&) = delete;
  WebApi& operator=(const WebApi&) = delete;

  // {"user", "password"}: opens a slot and logs on through it.
  void Logon(const QString& address, const QJsonObject& request, Answer answer);
  // Ends the token's session and frees its slot.
  WebAnswer Logoff(const QString& token);
  // {"loggedOn", "user"}.
  WebAnswer Session(const QString& token);
  // {"commands": [{"command", "fields": [...]}, ...]} -> {"replies": [[{"word",
  // "fields"}, ...], ...], "loggedOn"}. Running stops at the first command after which the
  // slot no longer holds its logon.
  void Run(const QString& token, const QJsonObject& request, Answer answer);

  // The slot of a live session, or -1.
  int SlotOf(const QString& token);
  // Frees every web slot (the web access stops).
  void EndAllSessions();

  static constexpr int kMostCommandsPerRequest = 120;

 private:
  struct Running;
  // Carries out the next command of a run, or answers when there is none left.
  void RunNext(const std::shared_ptr<Running>& run);
  void FinishLogon(const WebSession& session, const Answer& answer);

  WebSlotHost& slots_;
  quint16 localPort_;
  WebSessionTable sessions_;
  // Sessions that lost their logon (a failed command) while their slot is still open: the
  // slot is let go at the next status refresh, or when web access stops.
  std::vector<WebSession> lost_;
  // Callbacks of work still running hold a weak reference: a stopped web access answers
  // nothing.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace corvane

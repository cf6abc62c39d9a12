#pragma once

#include <QByteArray>
#include <optional>

#include "base/server_settings.h"
#include "protocol/request.h"
#include "protocol/slot_session.h"

namespace corvane {

// The bytes a slot received, read frame by frame as requests. Each frame is read with the
// keys the session expects when it is taken, since the request before it may change them.
class RequestReader {
 public:
  void Append(const QByteArray& bytes) { buffer_ += bytes; }
  // The next whole request; nothing while no frame is complete.
  std::optional<Request> Next(SlotSession& session, const ServerSettings& settings);
  // Forgets what was received and not yet read.
  void Clear();

  qsizetype PendingSize() const { return buffer_.size(); }
  const QByteArray& Pending() const { return buffer_; }

 private:
  QByteArray buffer_;
  // Where the search for the next frame end may resume: the bytes before it hold no
  // complete end mark.
  qsizetype scanFrom_ = 0;
};

}  // namespace corvane

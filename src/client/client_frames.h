#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <optional>
#include <vector>

namespace corvane {

// One reply as the client reads it.
struct ClientReply {
  QByteArray word;
  QList<QByteArray> fields;
  QByteArray text;  // the message text: STX, then each field followed by EOT
  bool enciphered = false;
};

// A key pair a reply may be enciphered with: k1 (integer key) and k2 (32-bit key).
struct ClientKeys {
  int32_t k1 = 0;
  int32_t k2 = 0;
};

// Splits a message text into its reply word and fields.
ClientReply ParseMessageText(const QByteArray& text);

// Cuts the first complete reply frame off the front of `buffer`. A frame that begins with STX
// is plain (text, ETX ETX ETX, EOT); any other is enciphered (payload, ETX ETX ETX, four
// characters) and deciphered with the first of `candidates` that gives a whole message text
// (STX first, EOT last). Nothing while no frame is complete.
std::optional<ClientReply> TakeReplyFrame(QByteArray& buffer,
                                          const std::vector<ClientKeys>& candidates);

// The redirect message of the listener: EOT, port, EOT, ETX ETX ETX. Nothing while it is not
// complete or not well formed.
std::optional<quint16> ParseRedirect(const QByteArray& bytes);

}  // namespace corvane

#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace corvane {

class PseudoRandom;

// Fixed keys of the protocol, shared with every client.
inline constexpr int32_t LogonKey = 48611;
inline constexpr int16_t ReplyKey = 73;

// The payload cipher: one byte out for each byte in, codes reduced by 255.
// With k1 = 0 the text is returned unchanged, as decryption passes such bytes through.
QByteArray EncryptPayload(const QByteArray& text, int32_t k1, int32_t k2);

// nullopt for the empty text, which cannot be decrypted. A byte whose step cannot be
// computed (k1 = 0, or a code outside 0..255) is taken over unchanged.
std::optional<QByteArray> DecryptPayload(const QByteArray& text, int32_t k1, int32_t k2);

// The byte at `index` of DecryptPayload(text, k1, k2) for a text of `length` bytes whose
// byte at `index` is `byte`, computed alone: the cipher's counter at a position follows from
// the position and the length. Precondition: 0 <= index < length.
char DecryptPayloadByte(char byte, qsizetype index, qsizetype length, int32_t k1, int32_t k2);
// Four bytes with codes 1..255 from the server's generator.
QByteArray RandomTrailer(PseudoRandom& random);

// The integer key formed by the first two characters of the key's decimal text.
int16_t DerivedIntegerKey(int32_t slotKey);

}  // namespace corvane

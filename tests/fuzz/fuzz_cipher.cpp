// The cipher family: the payload cipher with keys from the input (any value, as a stored key
// or a stale session key may be), the mirror and the keyed XOR. Checks the round trips the
// protocol and the user store depend on.
#include "base/text_scramble.h"
#include "harness.h"
#include "wire/cipher.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputReader input(data, size);
  const int32_t rawK1 = input.Int32();
  const int32_t rawK2 = input.Int32();
  const QByteArray text = input.Rest();

  // Any keys: no fault, one byte out for each byte in.
  const QByteArray any = EncryptPayload(text, rawK1, rawK2);
  fuzz::Expect(any.size() == text.size(), "encryption keeps the length");
  const std::optional<QByteArray> anyBack = DecryptPayload(text, rawK1, rawK2);
  fuzz::Expect(text.isEmpty() ? !anyBack : anyBack && anyBack->size() == text.size(),
               "decryption keeps the length");
  DerivedIntegerKey(rawK2);
  // Byte by byte, as the frame search reads the ends of candidate payloads.
  for (qsizetype i = 0; anyBack && i < text.size(); i += 1 + i / 4) {
    fuzz::Expect(DecryptPayloadByte(text[i], i, text.size(), rawK1, rawK2) == anyBack->at(i),
                 "one byte deciphers as within the whole text");
  }

  // The keys the server uses: k1 from 1 to 241, k2 positive. Every byte but 255 survives.
  const int32_t k1 = 1 + static_cast<int32_t>(static_cast<uint32_t>(rawK1) % 241);
  const int32_t k2 = 1 + static_cast<int32_t>(static_cast<uint32_t>(rawK2) % 0x7fffffff);
  if (!text.isEmpty()) {
    const std::optional<QByteArray> back = DecryptPayload(EncryptPayload(text, k1, k2), k1, k2);
    fuzz::Expect(back.has_value(), "an enciphered text deciphers");
    QByteArray expected = text;
    expected.replace('\xff', '\x00');
    fuzz::Expect(*back == expected, "decryption undoes encryption");
  }

  fuzz::Expect(MirrorText(MirrorText(text)) == text, "the mirror is its own inverse");
  if (text.size() <= 255) {
    fuzz::Expect(KeyedXor(KeyedXor(text, k2), k2) == text, "the keyed XOR is its own inverse");
  } else {
    KeyedXor(text, k2);
  }
  return 0;
}

// Whole client sessions through the dispatcher and the database commands, against a real
// SQLite file (the sample database, fresh for every input).
//
// Input: one byte of settings (bit 0 encryption on, bit 1 no logon by the harness, bit 2
// multiple logons allowed), then requests separated by line feeds. A request is its fields
// separated by '|' ("RequestTheTable|0|1"), framed as a client frames it; '@' in front sends
// it on the second slot; '!' in front sends the rest as raw bytes into the slot's receive
// buffer. Every reply must be a whole message (STX first, EOT last) under one of the keys
// the client may hold, and the file must stay sound.
#include <QDir>
#include <QFile>

#include "base/text_scramble.h"
#include "harness.h"
#include "support/slot_harness.h"
#include "support/sqlite_files.h"
#include "wire/cipher.h"
#include "wire/control_chars.h"
#include "wire/frame_codec.h"

using namespace corvane;

namespace {

QString TemplatePath() { return QDir(fuzz::ScratchDirectory()).filePath("template.db"); }
QString WorkPath() { return QDir(fuzz::ScratchDirectory()).filePath("sample.db"); }

bool WholeMessage(const QByteArray& text) { return text.startsWith(kStx) && text.endsWith(kEot); }

// One server's slots, as a running server holds them; every reply is checked as it is sent.
struct World {
  test::SlotHarness slots;

  World() {
    slots.users.Add("BOB", "SECRET:12345678");
    slots.users.Add("ANN", "pw:23456789");
    slots.catalogue.Replace(
        {{{QStringLiteral("sample.db"), WorkPath()}},
         {{QStringLiteral("Customers"), QStringLiteral("Products"), QStringLiteral("Orders")}},
         {{QStringLiteral("Products In Stock"), QStringLiteral("Customers In London")}}});
    slots.checkFrame = [this](int slot, const QByteArray& frame) { Check(slot, frame); };
  }

  void Check(int slot, const QByteArray& frame) {
    const bool plainEnd = frame.endsWith(FrameEndMark() + kEot);
    const bool cipherEnd = frame.size() >= 7 && frame.mid(frame.size() - 7, 3) == FrameEndMark();
    fuzz::Expect(plainEnd || cipherEnd, "a reply frame ends with its end mark and trailer");
    const SlotSession& session = slots.Slot(slot).session();
    if (plainEnd && WholeMessage(frame.chopped(4))) return;
    const QByteArray payload = frame.chopped(7);
    for (int32_t k1 : {int32_t{ReplyKey}, int32_t{session.SessionKey}}) {
      const std::optional<QByteArray> text = DecryptPayload(payload, k1, session.SlotKey);
      if (text && WholeMessage(*text)) return;
    }
    fuzz::Fail("a reply that is no whole message");
  }

  QByteArray Frame(const QByteArray& text, int slot) {
    const RequestKeys keys = RequestKeysFor(slots.Slot(slot).session(), slots.settings);
    if (!keys.enciphered) return text + FrameEndMark() + kEot;
    return EncryptPayload(text, keys.k1, keys.k2) + FrameEndMark() + RandomTrailer(slots.random);
  }

  void Request(const QList<QByteArray>& fields, int slot) {
    QByteArray text(1, kStx);
    for (const QByteArray& field : fields) text += field + kEot;
    slots.Receive(slot, Frame(text, slot));
  }
};

}  // namespace

// Every input starts from a copy of the template, built once.
void fuzz::SetUpTarget() { test::MakeSampleDatabase(TemplatePath()); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) QFile::remove(WorkPath() + suffix);
  if (!QFile::copy(TemplatePath(), WorkPath())) fuzz::Fail("work copy");
  fuzz::InputReader input(data, size);
  const uint8_t flags = input.Byte();
  {
    World world;
    world.slots.settings.EncryptionEnabled = (flags & 1) ? 1 : 0;
    world.slots.settings.AllowMultipleLogons = (flags & 4) ? 1 : 0;
    for (int slot : {0, 1}) {
      world.slots.Accept(slot);
      if (!(flags & 2)) {
        world.Request(
            {"Logon", slot ? "ANN" : "bob", MirrorText(slot ? "pw" : "secret"), "127.0.0.1"}, slot);
      }
    }
    for (int requests = 0; requests < 200 && !input.Empty(); ++requests) {
      QByteArray line = input.Until('\n');
      int slot = 0;
      if (line.startsWith('@')) {
        slot = 1;
        line.remove(0, 1);
      }
      if (line.startsWith('!')) {
        world.slots.Receive(slot, line.mid(1));
      } else {
        world.Request(line.split('|'), slot);
      }
    }
  }
  fuzz::Expect(test::QueryOnFile(WorkPath(), "PRAGMA integrity_check").toString() == "ok",
               "the database file stays sound");
  return 0;
}

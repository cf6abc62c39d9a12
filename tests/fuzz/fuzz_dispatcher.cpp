// Whole client sessions through the dispatcher and the database commands, against a real
// SQLite file (the sample database, fresh for every input).
//
// Input: one byte of settings (bit 0 encryption on, bit 1 no logon by the harness, bit 2
// multiple logons allowed), then requests separated by line feeds. A request is its fields
// separated by '|' ("RequestTheTable|0|1"), framed as a client frames it; '@' in front sends
// it on the second slot; '!' in front sends the rest as raw bytes into the slot's receive
// buffer. Every reply must be a whole message (STX first, EOT last) under one of the keys
// the client may hold, and the file must stay sound.
#include <sqlite3.h>

#include <QDir>
#include <QFile>

#include "base/catalogue.h"
#include "base/server_settings.h"
#include "commands/database_commands.h"
#include "base/text_scramble.h"
#include "wire/cipher.h"
#include "commands/command_dispatcher.h"
#include "wire/control_chars.h"
#include "wire/frame_assembler.h"
#include "wire/frame_codec.h"
#include "wire/message_fields.h"
#include "commands/session_table.h"
#include "harness.h"
#include "support/protocol_fakes.h"

using namespace corvane;

namespace {

QString TemplatePath() { return QDir(fuzz::ScratchDirectory()).filePath("template.db"); }
QString WorkPath() { return QDir(fuzz::ScratchDirectory()).filePath("sample.db"); }

void MakeTemplate() {
  QFile sql(QStringLiteral(CORVANE_SOURCE_DIR "/data/sample.sql"));
  if (!sql.open(QIODevice::ReadOnly)) fuzz::Fail("data/sample.sql readable");
  const QByteArray text = sql.readAll();
  sqlite3* db = nullptr;
  if (sqlite3_open(TemplatePath().toUtf8().constData(), &db) != SQLITE_OK) fuzz::Fail("open");
  if (sqlite3_exec(db, text.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    fuzz::Fail("sample database built");
  }
  sqlite3_close(db);
}

bool IntegrityOk(const QString& path) {
  sqlite3* db = nullptr;
  bool ok = false;
  if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      ok = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))) == "ok";
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return ok;
}

bool WholeMessage(const QByteArray& text) { return text.startsWith(kStx) && text.endsWith(kEot); }

// The wire of both slots; checks each reply as it is sent.
class CheckingHost : public SlotHost {
 public:
  explicit CheckingHost(const SessionTable& sessions) : sessions_(sessions) {}

  bool SendToSlot(const QByteArray& frame, int slot) override {
    if (frame.isEmpty()) return true;
    const bool plainEnd = frame.endsWith(FrameEndMark() + kEot);
    const bool cipherEnd = frame.size() >= 7 && frame.mid(frame.size() - 7, 3) == FrameEndMark();
    fuzz::Expect(plainEnd || cipherEnd, "a reply frame ends with its end mark and trailer");
    const SlotSession& session = sessions_.at(slot);
    if (plainEnd && WholeMessage(frame.chopped(4))) return true;
    const QByteArray payload = frame.chopped(7);
    for (int32_t k1 : {int32_t{ReplyKey}, int32_t{session.SessionKey}}) {
      const std::optional<QByteArray> text = DecryptPayload(payload, k1, session.SlotKey);
      if (text && WholeMessage(*text)) return true;
    }
    fuzz::Fail("a reply that is no whole message");
  }
  void AddCurrentUserRow(int) override {}

 private:
  const SessionTable& sessions_;
};

// One server's objects, as a running server holds them.
struct World {
  ServerSettings settings;
  Catalogue catalogue;
  test::FakeUserDirectory users;
  test::RecordingActivity activity;
  PseudoRandom random;
  SessionTable sessions;
  CheckingHost host{sessions};
  ProtocolServices services{settings, catalogue, users, activity, random, sessions, host};
  CommandDispatcher dispatcher{services};
  DatabaseCommands commands{catalogue, QLocale(QLocale::English, QLocale::UnitedStates)};

  World() {
    users.Add("BOB", "SECRET:12345678");
    users.Add("ANN", "pw:23456789");
    catalogue.published = {{QStringLiteral("sample.db"), WorkPath()}};
    catalogue.tableLists = {
        {QStringLiteral("Customers"), QStringLiteral("Products"), QStringLiteral("Orders")}};
    catalogue.queryLists = {
        {QStringLiteral("Products In Stock"), QStringLiteral("Customers In London")}};
    commands.Install(dispatcher, sessions);
  }

  QByteArray Frame(const QByteArray& text, int slot) {
    const SlotSession& session = sessions.at(slot);
    const RequestKeys keys = RequestKeysFor(session, settings);
    if (!keys.enciphered) return text + FrameEndMark() + kEot;
    return EncryptPayload(text, keys.k1, keys.k2) + FrameEndMark() + RandomTrailer(random);
  }

  // As the slot server does: append, then hand over every complete frame.
  void Receive(const QByteArray& bytes, int slot) {
    SlotSession& session = sessions.at(slot);
    session.ReceiveBuffer += bytes;
    while (!session.ReceiveBuffer.isEmpty()) {
      const std::optional<qsizetype> length = FindFrameLength(
          session.ReceiveBuffer, session.ReceiveScanFrom, RequestKeysFor(session, settings),
          RequestTrailerLength(session, settings));
      if (!length) break;
      const QByteArray frame = session.ReceiveBuffer.left(*length);
      session.ReceiveBuffer.remove(0, *length);
      session.ReceiveScanFrom = 0;
      dispatcher.DispatchCommand(frame, slot);
    }
    if (session.ReceiveBuffer.size() > 64 * 1024) session.ReceiveBuffer.clear();
  }

  void Request(const QList<QByteArray>& fields, int slot) {
    QByteArray text(1, kStx);
    for (const QByteArray& field : fields) text += field + kEot;
    Receive(Frame(text, slot), slot);
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnsureApplication();
  MakeTemplate();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) QFile::remove(WorkPath() + suffix);
  if (!QFile::copy(TemplatePath(), WorkPath())) fuzz::Fail("work copy");
  fuzz::InputReader input(data, size);
  const uint8_t flags = input.Byte();
  {
    World world;
    world.settings.EncryptionEnabled = (flags & 1) ? 1 : 0;
    world.settings.AllowMultipleLogons = (flags & 4) ? 1 : 0;
    for (int slot : {0, 1}) {
      world.sessions.at(slot).FreshConnection = true;
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
        world.Receive(line.mid(1), slot);
      } else {
        world.Request(line.split('|'), slot);
      }
    }
    world.sessions.CloseSlotDatabase(0);
    world.sessions.CloseSlotDatabase(1);
  }
  fuzz::Expect(IntegrityOk(WorkPath()), "the database file stays sound");
  return 0;
}

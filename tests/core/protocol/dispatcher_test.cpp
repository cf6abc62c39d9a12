#include <gtest/gtest.h>

#include "base/text_scramble.h"
#include "wire/cipher.h"
#include "commands/command_dispatcher.h"
#include "commands/logon_check.h"
#include "support/protocol_fakes.h"

namespace corvane {
namespace {

const QByteArray kEnd("\x03\x03\x03");

// Records what would go on each slot's wire.
class RecordingHost : public SlotHost {
 public:
  bool SendToSlot(const QByteArray& frame, int slot) override {
    sent.push_back({slot, frame});
    return true;
  }
  void AddCurrentUserRow(int slot) override { userRows.push_back(slot); }
  std::vector<std::pair<int, QByteArray>> sent;
  std::vector<int> userRows;
};

QByteArray Message(std::initializer_list<QByteArray> fields) {
  QByteArray text("\x02");
  for (const QByteArray& field : fields) text += field + "\x04";
  return text;
}

class DispatcherTest : public ::testing::Test {
 protected:
  DispatcherTest() {
    users_.Add("BOB", "SECRET:12345678");
    users_.Add("ANN", "pw:23456789");
    users_.Add("ODD", "pw:notanumber");
    users_.Add("PAD", " PW :34567890");
  }

  // A connection was just accepted on the slot.
  void Accept(int slot) {
    SlotSession& session = sessions_.at(slot);
    session.FreshConnection = true;
    session.LogonAccepted = false;
  }

  // Sends a request the way a client does: the first one with the logon keys, later ones by
  // the encryption setting.
  void Send(int slot, std::initializer_list<QByteArray> fields) {
    const QByteArray text = Message(fields);
    const SlotSession& session = sessions_.at(slot);
    QByteArray frame;
    if (session.FreshConnection) {
      frame = EncryptPayload(text, 48, LogonKey) + kEnd + "\x01\x02\x03\x04";
    } else if (settings_.EncryptionEnabled == 1) {
      frame = EncryptPayload(text, session.SessionKey, session.SlotKey) + kEnd + "wxyz";
    } else {
      frame = text + kEnd + "\x04";
    }
    dispatcher_.DispatchCommand(frame, slot);
  }

  void Logon(int slot, const QByteArray& user, const QByteArray& password) {
    Accept(slot);
    Send(slot, {"Logon", user, MirrorText(password), "10.0.0." + QByteArray::number(slot)});
  }

  // The last frame sent, deciphered with the given keys.
  QByteArray LastReply(int32_t k1, int32_t k2) {
    if (host_.sent.empty()) return {};
    const QByteArray frame = host_.sent.back().second;
    return *DecryptPayload(frame.left(frame.size() - 7), k1, k2);
  }
  QByteArray LastPlainReply() {
    if (host_.sent.empty()) return {};
    const QByteArray frame = host_.sent.back().second;
    EXPECT_TRUE(frame.endsWith(QByteArray("\x03\x03\x03\x04")));
    return frame.left(frame.size() - 4);
  }

  ServerSettings settings_;
  Catalogue catalogue_;
  test::FakeUserDirectory users_;
  test::RecordingActivity activity_;
  PseudoRandom random_;
  SessionTable sessions_;
  RecordingHost host_;
  ProtocolServices services_{settings_, catalogue_, users_, activity_, random_, sessions_, host_};
  CommandDispatcher dispatcher_{services_};
};

TEST_F(DispatcherTest, AcceptedLogonWithEncryptionOff) {
  Logon(3, "bob", "secret");
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"Accepted", "000"}));
  const SlotSession& session = sessions_.at(3);
  EXPECT_EQ(session.SlotUserName, "bob");
  EXPECT_EQ(session.SlotRemoteAddress, "10.0.0.3");
  EXPECT_EQ(session.SlotKey, 12345678);
  EXPECT_EQ(session.SessionKey, 0);
  EXPECT_TRUE(session.LogonAccepted);
  EXPECT_FALSE(session.FreshConnection);
  EXPECT_EQ(host_.userRows, std::vector<int>{3});
  EXPECT_EQ(activity_.events.back(), std::make_pair(3, QByteArray("Logon")));
  EXPECT_EQ(users_.lookups.back(), "BOB");
}

TEST_F(DispatcherTest, AcceptedLogonWithEncryptionHandsOutPaddedKey) {
  settings_.EncryptionEnabled = 1;
  sessions_.SetKeySeed(7);
  Logon(0, "bob", "secret");
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"Accepted", "007"}));
  EXPECT_EQ(sessions_.at(0).SessionKey, 7);
  sessions_.SetKeySeed(157);
  Logon(1, "ann", "pw");
  EXPECT_EQ(LastReply(ReplyKey, 23456789), Message({"Accepted", "157"}));
  // Later requests and replies use the session key and the private key.
  catalogue_.published = {{"a.mdb", "/x/a.mdb"}};
  Send(1, {"ThankYou"});
  EXPECT_EQ(LastReply(157, 23456789), Message({"Databases", "a.mdb"}));
}

TEST_F(DispatcherTest, UnknownUserIsDeniedWithTheLogonKeyWrongPasswordWithTheUsers) {
  Logon(5, "carl", "x");
  EXPECT_EQ(LastReply(ReplyKey, LogonKey), Message({"UserDenied"}));
  EXPECT_EQ(sessions_.at(5).SlotUserName, "");
  EXPECT_EQ(sessions_.at(5).SlotRemoteAddress, "10.0.0.5");
  EXPECT_TRUE(host_.userRows.empty());
  EXPECT_EQ(activity_.events.back(), std::make_pair(5, QByteArray("UserDenied")));
  // A wrong password keeps the name and key.
  Logon(2, "bob", "wrong");
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"PassDenied"}));
  EXPECT_EQ(sessions_.at(2).SlotUserName, "bob");
  EXPECT_EQ(sessions_.at(2).SlotKey, 12345678);
  EXPECT_FALSE(sessions_.at(2).LogonAccepted);
  EXPECT_EQ(activity_.Count("PassDenied"), 1);
}

TEST_F(DispatcherTest, PasswordIgnoresCaseAndSurroundingBlanksOfTheReceivedOne) {
  settings_.AllowMultipleLogons = 1;
  Logon(0, "bob", "  SeCrEt ");
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"Accepted", "000"}));
  // A stored password with blanks around it never matches.
  Logon(1, "pad", "pw");
  EXPECT_EQ(LastReply(ReplyKey, 34567890), Message({"PassDenied"}));
  Logon(2, "pad", " PW ");
  EXPECT_EQ(LastReply(ReplyKey, 34567890), Message({"PassDenied"}));
}

TEST_F(DispatcherTest, MultipleLogonRuleComparesNamesExactly) {
  settings_.AllowMultipleLogons = 0;
  Logon(3, "bob", "secret");
  Logon(4, "BOB", "secret");
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"Accepted", "000"}));
  Logon(5, "bob", "secret");
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"MultipleUsers"}));
  EXPECT_EQ(sessions_.at(5).SlotUserName, "");
  EXPECT_EQ(activity_.Count("MultipleUsers"), 1);
  // A slot denied its password still counts.
  Logon(7, "ann", "bad");
  Logon(8, "ann", "pw");
  EXPECT_EQ(LastReply(ReplyKey, 23456789), Message({"MultipleUsers"}));
  settings_.AllowMultipleLogons = 1;
  Logon(6, "bob", "secret");
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"Accepted", "000"}));
}

TEST_F(DispatcherTest, LoggingOnAgainOnTheSameConnection) {
  settings_.AllowMultipleLogons = 0;
  Logon(3, "bob", "secret");
  // A refused logon ends the accepted one...
  Send(3, {"Logon", "bbo", MirrorText("secret"), "a"});
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"UserDenied"}));
  EXPECT_FALSE(sessions_.at(3).LogonAccepted);
  host_.sent.clear();
  Send(3, {"ThankYou"});
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"UserDenied"}));
  // ...and the slot's own name does not stand in the way of logging on again.
  Logon(3, "bob", "secret");
  Send(3, {"Logon", "bob", MirrorText("secret"), "a"});
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"Accepted", "000"}));
  EXPECT_TRUE(sessions_.at(3).LogonAccepted);
}

TEST_F(DispatcherTest, CommandsBeforeAnAcceptedLogonAreRefused) {
  catalogue_.published = {{"a.mdb", "/x/a.mdb"}};
  Accept(8);
  sessions_.at(8).ReceiveBuffer = "pipelined rest";
  Send(8, {"ThankYou"});
  EXPECT_EQ(LastReply(ReplyKey, LogonKey), Message({"UserDenied"}));
  EXPECT_TRUE(sessions_.at(8).ReceiveBuffer.isEmpty());
  EXPECT_EQ(activity_.events.back(), std::make_pair(8, QByteArray("UserDenied")));
  // Not fresh any more, still not logged on: refused again, with the slot's key.
  host_.sent.clear();
  Send(8, {"Bogus"});
  ASSERT_EQ(host_.sent.size(), 1u);
  EXPECT_EQ(LastReply(ReplyKey, LogonKey), Message({"UserDenied"}));
  // After a refused logon the slot is not logged on either.
  Logon(9, "bob", "wrong");
  host_.sent.clear();
  Send(9, {"ThankYou"});
  EXPECT_EQ(LastReply(ReplyKey, 12345678), Message({"UserDenied"}));
  EXPECT_EQ(sessions_.at(9).SlotUserName, "");
}

TEST_F(DispatcherTest, UnknownWordAfterLogonIsIgnoredButCountsAsActivity) {
  Logon(1, "bob", "secret");
  sessions_.at(1).IdleMinutes = 4;
  host_.sent.clear();
  activity_.events.clear();
  Send(1, {"NoSuchCommand", "x"});
  EXPECT_TRUE(host_.sent.empty());
  EXPECT_TRUE(activity_.events.empty());
  EXPECT_EQ(sessions_.at(1).IdleMinutes, 0);
}

TEST_F(DispatcherTest, ErrorIsAnsweredAndLeavesTheFirstMessageFresh) {
  Accept(4);
  Send(4, {"Logon", "bob"});
  EXPECT_EQ(LastPlainReply(), Message({"ErrorDB", "Invalid procedure call or argument"}));
  EXPECT_TRUE(sessions_.at(4).FreshConnection);
  EXPECT_EQ(sessions_.LastErrorNumber(), 5);
  EXPECT_EQ(activity_.events.back(), std::make_pair(4, QByteArray("ErrorCommand")));
  // The stored key that is no number.
  Logon(5, "odd", "pw");
  EXPECT_EQ(LastPlainReply(), Message({"ErrorDB", "Type mismatch"}));
  EXPECT_EQ(sessions_.LastErrorNumber(), 13);
}

TEST_F(DispatcherTest, ErrorAfterLogonClearsTheSlotTexts) {
  Logon(2, "bob", "secret");
  sessions_.at(2).IdleMinutes = 3;
  Send(2, {"RequestTables"});
  EXPECT_EQ(LastPlainReply(), Message({"ErrorDB", "Invalid procedure call or argument"}));
  EXPECT_EQ(sessions_.at(2).SlotUserName, "");
  EXPECT_FALSE(sessions_.at(2).LogonAccepted);
  // No end-of-dispatch step on the error path.
  EXPECT_EQ(sessions_.at(2).IdleMinutes, 3);
}

TEST_F(DispatcherTest, CatalogueReplies) {
  Logon(0, "bob", "secret");
  host_.sent.clear();
  Send(0, {"ThankYou"});  // no published database: no reply
  EXPECT_TRUE(host_.sent.empty());
  catalogue_.published = {{"a.mdb", "/x/a.mdb"}, {"b.mdb", "/x/b.mdb"}};
  catalogue_.tableLists = {{"T0"}, {}, {}, {"Orders", "Items"}};
  catalogue_.queryLists = {{"~sq_xNamed", "~sq_", "q~sq_y", "~sq", "Plain"}};
  Send(0, {"ThankYou"});
  EXPECT_EQ(LastPlainReply(), Message({"Databases", "a.mdb", "b.mdb"}));
  Send(0, {"RequestTables", "2.6"});
  EXPECT_EQ(LastPlainReply(), Message({"Tables", "Orders", "Items"}));
  Send(0, {"RequestTables", "1"});
  EXPECT_EQ(LastPlainReply(), Message({"Tables"}));
  Send(0, {"RequestTables", "none"});
  EXPECT_EQ(LastPlainReply(), Message({"Tables", "T0"}));
  Send(0, {"RequestQuery", "0"});
  EXPECT_EQ(LastPlainReply(), Message({"Query", "Named", "", "q~sq_y", "~sq", "Plain"}));
  // The list of an unknown database is an error.
  Send(0, {"RequestQuery", "1"});
  EXPECT_EQ(LastPlainReply(), Message({"ErrorDB", "Subscript out of range"}));
  Logon(0, "bob", "secret");
  Send(0, {"RequestTables", "-1"});
  EXPECT_EQ(LastPlainReply(), Message({"ErrorDB", "Subscript out of range"}));
}

TEST_F(DispatcherTest, AddedRowsRunInOrderAfterTheSessionRows) {
  int runs = 0;
  dispatcher_.AddCommand("Ping", [&](CommandContext& ctx) {
    ++runs;
    ctx.Reply("Pong");
    return CommandEnd::kLeaveAtOnce;
  });
  Logon(0, "bob", "secret");
  sessions_.at(0).IdleMinutes = 2;
  Send(0, {"Ping"});
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(LastPlainReply(), Message({"Pong"}));
  EXPECT_EQ(sessions_.at(0).IdleMinutes, 2);
}

TEST(IssueSessionKeyTest, KeyTextAndSessionKey) {
  ServerSettings settings;
  SlotSession session;
  session.SessionKey = 44;
  EXPECT_EQ(IssueSessionKey(session, settings, 99), "000");
  EXPECT_EQ(session.SessionKey, 0);
  settings.EncryptionEnabled = 2;  // any value but 0 hands out a key
  EXPECT_EQ(IssueSessionKey(session, settings, 99), "099");
  EXPECT_EQ(session.SessionKey, 99);
  EXPECT_EQ(IssueSessionKey(session, settings, 126), "126");
}

}  // namespace
}  // namespace corvane

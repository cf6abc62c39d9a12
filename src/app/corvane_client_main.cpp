// Command-line client: logs on and runs a sequence of commands, printing every reply.
//
//   corvane-client --host H --port P --user U --password PW --key KEY [--plain|--encrypted]
//                  CMD [ARGS...] [, CMD [ARGS...]]...
//
// Commands are separated by a lone ",". An argument that is itself a comma is written ",,".
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "base/printable_bytes.h"
#include "base/windows1252.h"
#include "client/corvane_client.h"

namespace {

using corvane::ClientReply;

struct Command {
  QByteArray word;
  QList<QByteArray> fields;
};

QList<Command> SplitCommands(const QStringList& arguments) {
  QList<Command> commands;
  Command current;
  bool started = false;
  for (const QString& argument : arguments) {
    if (argument == QLatin1String(",")) {
      if (started) commands.push_back(current);
      current = {};
      started = false;
      continue;
    }
    const QByteArray bytes =
        corvane::ToWindows1252(argument == QLatin1String(",,") ? QStringLiteral(",") : argument);
    if (!started) {
      current.word = bytes;
      started = true;
    } else {
      current.fields.push_back(bytes);
    }
  }
  if (started) commands.push_back(current);
  return commands;
}

void Print(const QString& line) {
  std::fputs(line.toLocal8Bit().constData(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void PrintReply(const ClientReply& reply) {
  QStringList fields;
  for (const QByteArray& field : reply.fields) fields << corvane::FromWindows1252(field);
  Print(QStringLiteral("< %1%2 [%3]")
            .arg(corvane::FromWindows1252(reply.word),
                 reply.enciphered ? QStringLiteral(" (enciphered)") : QString(),
                 fields.join(QStringLiteral(" | "))));
  Print(QStringLiteral("  %1").arg(corvane::PrintableBytes(reply.text)));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("corvane-client"));
  QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Logs on to a Corvane Database Server and runs commands; commands are separated by a "
      "lone \",\" (write \",,\" for an argument that is a comma)."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption host({QStringLiteral("host")}, QStringLiteral("Server host."),
                                QStringLiteral("host"), QStringLiteral("127.0.0.1"));
  const QCommandLineOption port({QStringLiteral("port")}, QStringLiteral("Listening port."),
                                QStringLiteral("port"));
  const QCommandLineOption user({QStringLiteral("user")}, QStringLiteral("User name."),
                                QStringLiteral("user"));
  const QCommandLineOption password({QStringLiteral("password")}, QStringLiteral("Password."),
                                    QStringLiteral("password"));
  const QCommandLineOption key({QStringLiteral("key")}, QStringLiteral("Private key."),
                               QStringLiteral("key"));
  const QCommandLineOption plain({QStringLiteral("plain")},
                                 QStringLiteral("Send requests plain after the logon."));
  const QCommandLineOption encrypted({QStringLiteral("encrypted")},
                                     QStringLiteral("Encipher requests after the logon."));
  const QCommandLineOption timeout({QStringLiteral("timeout")},
                                   QStringLiteral("Milliseconds to wait for a reply."),
                                   QStringLiteral("ms"), QStringLiteral("5000"));
  parser.addOptions({host, port, user, password, key, plain, encrypted, timeout});
  parser.addPositionalArgument(QStringLiteral("commands"),
                               QStringLiteral("CMD [ARGS...] [, CMD [ARGS...]]..."));
  parser.process(app);

  if (!parser.isSet(port) || !parser.isSet(user) || !parser.isSet(key)) {
    std::fputs("corvane-client: --port, --user and --key are required\n", stderr);
    return 2;
  }
  const int timeoutMs = parser.value(timeout).toInt();
  corvane::CorvaneClient client(timeoutMs > 0 ? timeoutMs : 5000);
  if (parser.isSet(plain)) client.SetEncryption(corvane::ClientEncryption::kPlain);
  if (parser.isSet(encrypted)) client.SetEncryption(corvane::ClientEncryption::kEncrypted);

  const std::optional<quint16> slotPort =
      client.RequestSlotPort(parser.value(host), parser.value(port).toUShort());
  if (!slotPort) {
    std::fputs("corvane-client: no answer from the listener\n", stderr);
    return 1;
  }
  Print(QStringLiteral("slot port %1").arg(*slotPort));
  if (*slotPort == 0) {
    std::fputs("corvane-client: the server is full\n", stderr);
    return 1;
  }
  if (!client.ConnectToSlot(parser.value(host), *slotPort)) {
    std::fputs("corvane-client: cannot connect to the slot port\n", stderr);
    return 1;
  }

  Print(QStringLiteral("> Logon %1").arg(parser.value(user)));
  const std::optional<ClientReply> logon =
      client.Logon(corvane::ToWindows1252(parser.value(user)),
                   corvane::ToWindows1252(parser.value(password)), parser.value(key).toInt());
  if (!logon) {
    std::fputs("corvane-client: no reply to the logon\n", stderr);
    return 1;
  }
  PrintReply(*logon);
  if (logon->word != "Accepted") return 3;

  for (const Command& command : SplitCommands(parser.positionalArguments())) {
    QStringList shown{corvane::FromWindows1252(command.word)};
    for (const QByteArray& field : command.fields) shown << corvane::FromWindows1252(field);
    Print(QStringLiteral("> ") + shown.join(QLatin1Char(' ')));
    client.Send(command.word, command.fields);
    // The first reply may take a while; further ones follow it closely.
    std::optional<ClientReply> reply = client.ReadReply();
    if (!reply) {
      Print(QStringLiteral("  (no reply)"));
      continue;
    }
    while (reply) {
      PrintReply(*reply);
      reply = client.ReadReply(300);
    }
  }
  client.Disconnect();
  return 0;
}

#include "server/command_line.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>

#include "access/access_conversion.h"
#include "access/access_import.h"
#include "access/conversion_child.h"
#include "base/windows1252.h"
#include "config/default_program_dir.h"
#include "config/online_backup.h"
#include "config/registry_store.h"
#include "config/user_list_model.h"
#include "config/user_store.h"
#include "users/private_key.h"
#include "users/user_rules.h"

namespace corvane {
namespace {

struct OptionSpec {
  const char* name;
  const char* argumentNames;  // for messages
  int minArguments;
  int maxArguments;    // arguments beyond the minimum are taken while they are no option
  AdminAction action;  // None for the options that only set something
};

const OptionSpec Options[] = {
    {"--dir", "DIR", 1, 1, AdminAction::None},
    {"--headless", "", 0, 0, AdminAction::None},
    {"--metrics", "ADDRESS:PORT", 1, 1, AdminAction::None},
    {"--add-user", "NAME PASSWORD", 2, 2, AdminAction::AddUser},
    {"--key", "KEY", 1, 1, AdminAction::None},
    {"--list-users", "", 0, 0, AdminAction::ListUsers},
    {"--remove-user", "NAME", 1, 1, AdminAction::RemoveUser},
    {"--import-access", "FILE [OUT]", 1, 2, AdminAction::ImportAccess},
    {kImportReportOption, "FILE", 1, 1, AdminAction::None},
    {"--backup", "TO", 1, 1, AdminAction::Backup},
    {"--keep", "N", 1, 1, AdminAction::None},
    {"--help", "", 0, 0, AdminAction::Help},
    {"-h", "", 0, 0, AdminAction::Help},
    {"--version", "", 0, 0, AdminAction::Version},
};

const OptionSpec* FindOption(const QString& argument) {
  for (const OptionSpec& option : Options) {
    if (argument == QLatin1String(option.name)) return &option;
  }
  return nullptr;
}

// Adds a user the way the user editor does: name and password trimmed and in upper case,
// a fresh private key unless one is given; the store is loaded first so that every other
// user stays.
int AddUser(UserStore& store, const QString& rawName, const QString& rawPassword,
            const std::optional<QString>& givenKey, QTextStream& out, QTextStream& err) {
  // Clients rely on keys of the server's making: a number the logon reads, never negative
  // (the first byte of an enciphered frame then never looks like STX).
  if (givenKey && !IsPrivateKeyOfOurMaking(*givenKey)) {
    err << "The private key must be eight digits, as the server makes them: " << *givenKey << '\n';
    return 1;
  }
  const QString name = EnteredForm(rawName);
  const QString password = EnteredForm(rawPassword);
  if (name.isEmpty()) {
    err << "RemoteHost name is required.\n";
    return 1;
  }
  if (password.isEmpty()) {
    err << "Password is required.\n";
    return 1;
  }
  if (store.UserExists(name)) {
    err << "User already exists.\n";
    return 1;
  }
  const UserRecord user{name, password, givenKey ? *givenKey : MakePrivateKey()};
  // A user that could not be read back whole could never log on.
  switch (JudgeStorable(user)) {
    case StoreVerdict::kStorable:
      break;
    case StoreVerdict::kPasswordHasColon:
      err << "The password cannot hold \":\": use other characters.\n";
      return 1;
    case StoreVerdict::kNameUnstorable:
    case StoreVerdict::kPasswordUnstorable:
      err << "The user name or password cannot be stored: use fewer or other characters.\n";
      return 1;
  }
  UserListModel users;
  store.LoadUsers(users);
  users.Append(user);
  store.SaveUsers(users);
  if (!store.UserExists(name)) {
    err << "The user could not be saved.\n";
    return 1;
  }
  out << user.privateKey << '\n';
  return 0;
}

int ListUsers(UserStore& store, QTextStream& out) {
  UserListModel users;
  store.LoadUsers(users);
  for (const UserRecord& user : users.Users()) out << user.name << '\t' << user.privateKey << '\n';
  return 0;
}

// Converts an Access file into SQLite, or into the server database OUT names; OUT defaults
// to the file's name with ".sqlite" beside it. With a report file this process is the child of an
// import: it converts here and hands the result over.
int ImportAccess(const QStringList& arguments, const QString& reportPath, QTextStream& out,
                 QTextStream& err) {
  const QString source = arguments.at(0);
  QString target = arguments.value(1);
  if (target.isEmpty()) {
    const QFileInfo info(source);
    target = info.dir().filePath(info.completeBaseName() + QStringLiteral(".sqlite"));
  }
  AccessImportResult result;
  if (reportPath.isEmpty()) {
    result = ImportAccessDatabase(source, target);
  } else {
    result = ConvertAccessFile(source, target);
    if (!WriteConversionResult(reportPath, result)) {
      err << "The result cannot be written to " << reportPath << ".\n";
      return 1;
    }
  }
  if (!result.ok) {
    err << result.error << '\n';
    return 1;
  }
  for (const QString& line : result.report.Lines()) out << line << '\n';
  out << "Written to " << target << '\n';
  return 0;
}

// Whether the store lists a user of exactly this name.
bool IsListed(UserStore& store, const QString& name) {
  UserListModel users;
  store.LoadUsers(users);
  return std::any_of(users.Users().begin(), users.Users().end(),
                     [&](const UserRecord& user) { return user.name == name; });
}

int RemoveUser(UserStore& store, const QString& name, QTextStream& err) {
  if (!IsListed(store, name) || !store.DeleteUser(name)) {
    err << "No such user: " << name << '\n';
    return 1;
  }
  // The deletion itself says only whether the user key was there.
  if (IsListed(store, name)) {
    err << "The user could not be removed.\n";
    return 1;
  }
  return 0;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const QStringList& arguments) {
  ParsedCommandLine parsed;
  CommandLineOptions& options = parsed.options;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const OptionSpec* option = FindOption(arguments[i]);
    if (!option) {
      parsed.error = QStringLiteral("Unknown option: %1").arg(arguments[i]);
      return parsed;
    }
    QStringList values;
    while (values.size() < option->maxArguments && i + 1 < arguments.size() &&
           (values.size() < option->minArguments || !arguments[i + 1].startsWith(u'-'))) {
      values.append(arguments[++i]);
    }
    if (values.size() < option->minArguments) {
      parsed.error =
          QStringLiteral("%1 needs %2").arg(QLatin1String(option->name), option->argumentNames);
      return parsed;
    }
    if (option->action != AdminAction::None) {
      if (options.action != AdminAction::None) {
        parsed.error = QStringLiteral("Only one action may be given.");
        return parsed;
      }
      options.action = option->action;
      options.actionArguments = values;
    } else if (qstrcmp(option->name, "--dir") == 0) {
      options.programDir = values.first();
    } else if (qstrcmp(option->name, kImportReportOption) == 0) {
      options.importReport = values.first();
    } else if (qstrcmp(option->name, "--key") == 0) {
      options.privateKey = values.first();
    } else if (qstrcmp(option->name, "--metrics") == 0) {
      options.metrics = ParseMetricsAddress(values.first());
      if (!options.metrics) {
        parsed.error =
            QStringLiteral("--metrics needs ADDRESS:PORT or a port: %1").arg(values.first());
        return parsed;
      }
    } else if (qstrcmp(option->name, "--keep") == 0) {
      bool number = false;
      options.keep = values.first().toInt(&number);
      if (!number || options.keep < 1) {
        parsed.error = QStringLiteral("--keep needs a number of copies, 1 or more.");
        return parsed;
      }
    } else {
      options.headless = true;
    }
  }
  if (!options.importReport.isEmpty() && options.action != AdminAction::ImportAccess)
    parsed.error =
        QStringLiteral("%1 goes with --import-access.").arg(QLatin1String(kImportReportOption));
  if (options.privateKey && options.action != AdminAction::AddUser)
    parsed.error = QStringLiteral("--key goes with --add-user.");
  if (options.keep > 0 && options.action != AdminAction::Backup)
    parsed.error = QStringLiteral("--keep goes with --backup.");
  // The desktop program reads metrics.dat.
  if (options.metrics && (!options.headless || options.action != AdminAction::None))
    parsed.error = QStringLiteral("--metrics goes with --headless.");
  return parsed;
}

QString UsageText() {
  return QStringLiteral(
      "Usage: corvane-server [--dir DIR] [--headless] [ACTION]\n"
      "\n"
      "Options:\n"
      "  --dir DIR                   program directory holding the settings files, the\n"
      "                              log, the user store and the lock (default:\n"
      "                              ~/.local/share/corvane-server, made on first use;\n"
      "                              the executable's folder when it holds them)\n"
      "  --headless                  run without windows\n"
      "  --metrics ADDRESS:PORT      with --headless: serve GET /health and GET /metrics\n"
      "                              (Prometheus) on this address; a port alone means\n"
      "                              127.0.0.1:PORT (default: metrics.dat, else off)\n"
      "  --import-report FILE        with --import-access: convert in this process, straight\n"
      "                              into OUT, and write the result for the program that\n"
      "                              started it to FILE (the server runs its imports so)\n"
      "\n"
      "Actions:\n"
      "  --add-user NAME PASSWORD [--key KEY]\n"
      "                              add a user and print its private key; --key gives\n"
      "                              the key (eight digits) instead of a fresh one, for\n"
      "                              test fixtures\n"
      "  --list-users                list the users and their private keys\n"
      "  --remove-user NAME          remove the user of exactly that name\n"
      "  --import-access FILE [OUT]  convert a Microsoft Access file into the SQLite\n"
      "                              database OUT (default: FILE's name with .sqlite)\n"
      "                              and show what was imported; OUT may be an empty\n"
      "                              PostgreSQL database (postgresql://... or\n"
      "                              service=NAME, no password in it)\n"
      "  --backup TO [--keep N]      copy every published SQLite file and the user store\n"
      "                              into the folder TO while the server runs, as\n"
      "                              NAME-HASH-yyyyMMdd-HHmmss.zzz.sqlite (UTC); with\n"
      "                              --keep, only the newest N copies of each stay;\n"
      "                              server databases are named, not copied (pg_dump)\n"
      "  --help                      show this text\n"
      "  --version                   show the program's name and version\n");
}

QString ChosenProgramDir(const CommandLineOptions& options, const QString& defaultProgramDir) {
  if (options.programDir.isEmpty()) {
    MakeProgramDir(defaultProgramDir);
    return defaultProgramDir;
  }
  return QDir::cleanPath(QFileInfo(options.programDir).absoluteFilePath());
}

int RunAdminAction(const CommandLineOptions& options, const QString& defaultProgramDir,
                   QTextStream& out, QTextStream& err) {
  switch (options.action) {
    case AdminAction::None:
      return 0;
    case AdminAction::Help:
      out << UsageText();
      return 0;
    case AdminAction::Version:
      out << "Corvane Database Server\nVersion " CORVANE_VERSION "\n";
      return 0;
    case AdminAction::ImportAccess:
      return ImportAccess(options.actionArguments, options.importReport, out, err);
    default:
      break;
  }
  const QString programDir = ChosenProgramDir(options, defaultProgramDir);
  if (!QFileInfo(programDir).isDir()) {
    err << "No such program directory: " << programDir << '\n';
    return 1;
  }
  // Beside a running server: no instance lock, and the user store is only read.
  if (options.action == AdminAction::Backup)
    return BackUpDatabases(programDir, options.actionArguments.at(0), options.keep, out, err) ? 0
                                                                                              : 1;
  RegistryStore registry(programDir);
  UserStore store(registry, programDir);
  store.HasUsers();  // brings in the users of the legacy layout, as start-up does
  const QStringList& arguments = options.actionArguments;
  switch (options.action) {
    case AdminAction::AddUser:
      return AddUser(store, arguments.at(0), arguments.at(1), options.privateKey, out, err);
    case AdminAction::ListUsers:
      return ListUsers(store, out);
    case AdminAction::RemoveUser:
      return RemoveUser(store, arguments.at(0), err);
    default:
      return 0;
  }
}

}  // namespace corvane

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("Corvane Database Server\nVersion 5.0");
    return 0;
  }
  std::puts("Usage: corvane-server [--help] [--version]");
  return 0;
}

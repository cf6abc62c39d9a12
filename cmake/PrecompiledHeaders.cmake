# Precompiled headers. Most of a cold build is GCC parsing the same Qt, standard library and
# GoogleTest headers for every file; parsed once per build instead, the builds of the test
# script (normal, sanitizers, package) take less time (a cold normal build about a quarter
# less, with the tests' lighter flags).
#
# corvane_base precompiles the headers of the program's libraries, corvane_test_support those
# of the tests; every other target reuses one of the two, so each build parses them twice in
# all. A target whose flags the precompiled header does not fit falls back to the plain text
# of the headers, which costs time, never correctness; GCC warns of it (-Winvalid-pch,
# which CMake adds).
#
# With ccache, the test scripts set the sloppiness it needs for precompiled headers.
option(CORVANE_PRECOMPILED_HEADERS "Precompile the common Qt, standard and test headers" ON)

set(CORVANE_PRECOMPILED_CORE
  <QByteArray> <QDateTime> <QDir> <QFile> <QFileInfo> <QHash> <QList> <QLocale> <QObject>
  <QRegularExpression> <QSet> <QString> <QStringList> <QTimer>
  <algorithm> <cstdint> <functional> <memory> <optional> <vector>)
set(CORVANE_PRECOMPILED_TESTS
  ${CORVANE_PRECOMPILED_CORE}
  <QCoreApplication> <QElapsedTimer> <QProcess> <QTcpSocket> <QTemporaryDir>
  <gtest/gtest.h>)

# corvane_precompile(TARGET HEADERS...): TARGET makes the precompiled header of HEADERS.
function(corvane_precompile target)
  if(CORVANE_PRECOMPILED_HEADERS)
    target_precompile_headers(${target} PRIVATE ${ARGN})
  endif()
endfunction()

# corvane_reuse_precompiled(TARGET DONOR): TARGET compiles with DONOR's precompiled header.
function(corvane_reuse_precompiled target donor)
  if(CORVANE_PRECOMPILED_HEADERS)
    target_precompile_headers(${target} REUSE_FROM ${donor})
  endif()
endfunction()

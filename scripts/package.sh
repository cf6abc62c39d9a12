#!/usr/bin/env bash
# Builds the Debian package in build-package/ and checks it: lintian, then the package
# unpacked into a throwaway root, where the installed programs must answer --version and
# --help on the system's libraries alone, and the desktop entry and the AppStream
# metainfo must validate. Any error fails the script. The .deb stays in build-package/.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive

# scdoc writes the man pages; the rest checks the package.
scripts/deps.sh scdoc lintian desktop-file-utils appstream dpkg-dev file
build_dir=build-package
extra=()
if command -v ccache >/dev/null; then
  extra+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # What ccache needs to cache builds with precompiled headers (cmake/PrecompiledHeaders.cmake).
  export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
fi
# Debian's hardening flags (stack protector, fortified functions, read-only relocations
# bound at start-up).
export DEB_BUILD_MAINT_OPTIONS=hardening=+bindnow
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
# Only what the package holds is built: no tests, benchmarks or fuzz targets.
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DCORVANE_BUILD_TESTS=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${extra[@]}" >/dev/null
cmake --build "$build_dir" -j2 --target corvane-server corvane-client corvane_package_docs
rm -f "$build_dir"/corvane-server_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
debs=("$build_dir"/corvane-server_*.deb)
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
echo "Built $deb"

fail() {
  echo "package check: $*" >&2
  exit 1
}

# Errors fail; warnings are shown.
lintian --fail-on error "$deb" || fail "lintian reports errors"

if dpkg-deb -c "$deb" | grep -Ei '_tests|bench|fuzz|soak'; then
  fail "the package holds test or benchmark files"
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
for program in corvane-server corvane-client; do
  binary=$root/usr/bin/$program
  [ -x "$binary" ] || fail "$program is missing"
  if env -u LD_LIBRARY_PATH ldd "$binary" | grep 'not found'; then
    fail "$program needs libraries the system lacks"
  fi
  env -u LD_LIBRARY_PATH "$binary" --version | tee "$root/version.txt"
  grep -q "$version" "$root/version.txt" || fail "$program --version does not say $version"
  env -u LD_LIBRARY_PATH "$binary" --help >"$root/help.txt" || fail "$program --help failed"
  grep -q -- '--version' "$root/help.txt" || fail "$program --help does not list --version"
  [ -f "$root/usr/share/man/man1/$program.1.gz" ] || fail "$program has no man page"
done
[ -f "$root/usr/share/corvane-server/help/index.html" ] || fail "the manual is missing"
[ -f "$root/usr/lib/systemd/system/corvane-server.service" ] || fail "the service is missing"
[ -f "$root/etc/logrotate.d/corvane-server" ] || fail "the log rotation is missing"
for unit in corvane-server-backup.service corvane-server-backup.timer; do
  [ -f "$root/usr/lib/systemd/system/$unit" ] || fail "$unit is missing"
done
# systemd rates a unit's exposure from 0 (locked down) to 10: the services stay below 4.
if systemd-analyze --help 2>/dev/null | grep -q -- '--threshold'; then
  for unit in corvane-server.service corvane-server-backup.service; do
    systemd-analyze security --offline=true --threshold=40 \
      "$root/usr/lib/systemd/system/$unit" >/dev/null || fail "$unit is not hardened enough"
  done
fi
desktop-file-validate "$root/usr/share/applications/corvane-server.desktop"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
echo "Package $deb checked"

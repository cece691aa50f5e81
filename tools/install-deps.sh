#!/usr/bin/env bash
# Installs what building and testing Devlore needs, from Debian's packages.
# Runs as root; installs only what is missing, so a second run takes a moment.
#
# Usage: install-deps.sh [x86_64] [i686]   (default: both)
#   x86_64  cross compilers, 64-bit Wine, googletest, gcab, clang (the fuzzers)
#   i686    additionally 32-bit Wine (wine32:i386) and what runs it here: this
#           machine cannot execute 32-bit x86 code itself, so 32-bit programs go
#           through qemu's user-mode emulator (qemu-user-static 8 or newer, from
#           bookworm-backports), registered with the kernel's binfmt_misc.
set -euo pipefail

want_i686=1
if [ $# -gt 0 ]; then
  want_i686=0
  for a in "$@"; do
    case "$a" in
      x86_64) ;;
      i686) want_i686=1 ;;
      *) echo "install-deps: unknown architecture $a" >&2; exit 2 ;;
    esac
  done
fi

export DEBIAN_FRONTEND=noninteractive
# Wait for another apt run (a parallel build's install step) instead of failing.
apt_opts=(-o DPkg::Lock::Timeout=900 -o Acquire::Retries=3)

packages=(
  cmake ninja-build
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64
  wine wine64 libwine-dev
  googletest
  dosfstools mtools xvfb gcab
  clang libclang-rt-14-dev
)
if [ $want_i686 = 1 ]; then
  # gcc: the memory-figures library preloaded into 32-bit Wine (tools/qemu-sysinfo).
  packages+=(wine32:i386 gcc)
fi

# Packages that dpkg does not list as installed, in one query.
missing_packages() {
  local status
  status=$(dpkg-query -W -f='${binary:Package} ${db:Status-Status}\n' "$@" 2>/dev/null || true)
  local p
  for p in "$@"; do
    # dpkg names native packages without the ":amd64" suffix.
    grep -qx -e "$p installed" -e "$p:amd64 installed" <<<"$status" || echo "$p"
  done
}

updated=0
apt_update() {
  [ $updated = 1 ] && return 0
  apt-get "${apt_opts[@]}" update -qq
  updated=1
}

backports_list=/etc/apt/sources.list.d/devlore-bookworm-backports.sources
if [ $want_i686 = 1 ]; then
  foreign=$(dpkg --print-foreign-architectures)
  if ! grep -qx i386 <<<"$foreign"; then
    echo "install-deps: enabling the i386 architecture"
    dpkg --add-architecture i386
    need_update=1
  fi
  # Only the files apt reads (not, say, a *.disabled copy).
  if ! grep -qs '^[^#]*bookworm-backports' /etc/apt/sources.list \
       /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; then
    echo "install-deps: adding bookworm-backports"
    cat >"$backports_list" <<'EOF'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    need_update=1
  fi
fi

mapfile -t missing < <(missing_packages "${packages[@]}")
if [ ${#missing[@]} -gt 0 ] || [ "${need_update:-0}" = 1 ]; then
  apt_update
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  apt-get "${apt_opts[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

[ $want_i686 = 1 ] || exit 0

# qemu-user-static: bookworm's own 7.2 needs about a minute of processor time per
# Wine process, so take the backported one (its own command line, so that the
# target release touches nothing else).
qemu_version=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || true)
if [ -z "$qemu_version" ] || ! dpkg --compare-versions "$qemu_version" ge 1:8; then
  apt_update
  echo "install-deps: installing qemu-user-static from bookworm-backports"
  apt-get "${apt_opts[@]}" install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static >/dev/null
fi

exec "$(dirname "$(readlink -f "$0")")/register-qemu-i386"

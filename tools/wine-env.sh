# Sourced: sets up the environment for running Windows programs of this project
# under Wine in a given prefix. Usage: . wine-env.sh ARCH PREFIX
#   ARCH   x86_64 (64-bit Wine, native) or i686 (32-bit Wine: the shipped build;
#          on this machine it runs through qemu's i386 emulator, see
#          tools/register-qemu-i386)
#   PREFIX the Wine prefix folder (created by make-prefix)
devlore_arch=${1:?arch}
# Wine insists on an absolute prefix path.
export WINEPREFIX=$(realpath -m "${2:?prefix}")
if [ "$devlore_arch" = x86_64 ]; then
  # Call the 64-bit loader directly: the wine wrapper prefers the 32-bit one.
  export WINELOADER=/usr/lib/wine/wine64
  unset WINEARCH
elif [ "$devlore_arch" = i686 ]; then
  # A pure 32-bit prefix, like a Windows 98 machine (no WoW64 side).
  export WINELOADER=/usr/lib/wine/wine
  export WINEARCH=win32
  # The emulated processor: one of the control's era (qemu's Pentium II says
  # GenuineIntel, family 6, and has MMX). Every Wine process of one server
  # session must run on the same model, so all tools take it from here.
  export QEMU_CPU=${QEMU_CPU:-pentium2}
  # The memory figures: qemu cuts a 32-bit guest's sysinfo() to 32 bits, and
  # Wine's Windows 9x answer caps what does not fit at limits that contradict
  # each other. The emulated processes get sysinfo() and /proc/meminfo of a
  # machine that fits, the host scaled down (tools/qemu-sysinfo/sysinfo.c).
  # QEMU_SET_ENV reaches the emulated processes only; ld.so picks the library
  # of the process's own width through $LIB.
  devlore_tools=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
  devlore_preload=$(realpath -m "$devlore_tools/../build/qemu-sysinfo")
  "$devlore_tools/qemu-sysinfo/build" "$devlore_preload" || {
    echo "wine-env.sh: cannot build tools/qemu-sysinfo (needs gcc)" >&2
    return 1 2>/dev/null || exit 1
  }
  case "$devlore_preload" in
    *[,:\ ]*) echo "wine-env.sh: $devlore_preload cannot be named in LD_PRELOAD" >&2
               return 1 2>/dev/null || exit 1 ;;
  esac
  export QEMU_SET_ENV="LD_PRELOAD=$devlore_preload/\$LIB/libdevlore-sysinfo.so"
else
  echo "wine-env.sh: unknown architecture $devlore_arch (x86_64 or i686)" >&2
  return 2 2>/dev/null || exit 2
fi
# The server is always the native 64-bit one (Debian's wineserver wrapper picks
# it too); tools that keep a server alive start this binary directly.
devlore_wineserver=/usr/lib/wine/wineserver64
[ -x "$devlore_wineserver" ] || devlore_wineserver=/usr/lib/wine/wineserver32
export WINEDEBUG=${WINEDEBUG:--all}
# An unhandled exception makes Wine start the debugger that the prefix's AeDebug
# key names (winedbg), which waits for a display: with winedbg.exe disabled it
# cannot start, so a crashing program ends at once with its exception's code
# after Wine's one-line account of the fault.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
# Wine takes its ANSI code page from the locale it starts under: Western (1252).
export LC_ALL=C.UTF-8 LANG=en_US.UTF-8
unset DISPLAY WAYLAND_DISPLAY

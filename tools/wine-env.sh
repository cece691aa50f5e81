# Sourced: sets up the environment for running Windows programs of this project
# under Wine in a given prefix. Usage: . wine-env.sh ARCH PREFIX
#   ARCH   x86_64 (64-bit Wine, native) or i686 (32-bit Wine)
#   PREFIX the Wine prefix folder (created by make-prefix)
devlore_arch=${1:?arch}
export WINEPREFIX=${2:?prefix}
if [ "$devlore_arch" = x86_64 ]; then
  # Call the 64-bit loader directly: the wine wrapper prefers the 32-bit one.
  export WINELOADER=/usr/lib/wine/wine64
else
  export WINELOADER=/usr/lib/wine/wine
  export WINEARCH=win32
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine takes its ANSI code page from the locale it starts under: Western (1252).
export LC_ALL=C.UTF-8 LANG=en_US.UTF-8
unset DISPLAY WAYLAND_DISPLAY

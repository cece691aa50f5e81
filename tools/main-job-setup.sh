# Sourced by tools/report.sh and tools/page.sh (with root, arch and profile
# set): builds the project, prepares the main job's Wine prefix in Windows 98
# mode that looks like the machine profile, installs the control the way the
# browser's code download does (system folder, registered with regsvr32) and the
# probe drivers into "\Qarbin\Si", copies the container programs to
# C:\Program Files\Devlore, and keeps one Wine server alive (HKEY_DYN_DATA lives
# in its memory) until the sourcing script ends. Leaves the working folder at C:.
build=$root/build/$arch
prefix=$build/report-prefix

"$root/tools/install-deps.sh" "$arch" >&2
"$root/tools/build.sh" "$arch" "$build" >/dev/null
"$root/tools/make-prefix" --arch "$arch" --prefix "$prefix"
. "$root/tools/wine-env.sh" "$arch" "$prefix"
if [ "$arch" = i686 ]; then
  # A processor of the control's era: qemu's Pentium II says GenuineIntel and
  # has MMX. Every Wine process of the session must run on the same model.
  export QEMU_CPU=${QEMU_CPU:-pentium2}
fi

drive_c=$WINEPREFIX/drive_c
windows=$drive_c/windows
system=$windows/system32
[ -d "$system" ] || system=$windows/system

# The probe drivers, where the control looks for them.
mkdir -p "$windows/Qarbin/Si"
cp "$build/vxd/PROCID.VXD" "$build/vxd/VOLQ.VXD" "$windows/Qarbin/Si/"

# Windows 9x keeps the kernel in its system folder "SYSTEM"; the disk devices
# load it from there to find GetDiskFreeSpaceExA.
mkdir -p "$windows/system"
[ -e "$windows/system/kernel32.dll" ] || cp "$system/kernel32.dll" "$windows/system/kernel32.dll"

# Drive C: gets a raw FAT volume (the boot sector the VOLQ driver reads), like a
# Windows 98 machine's FAT32 system disk. The files stay in drive_c.
image=$build/report-c-drive.img
if [ ! -f "$image" ]; then
  rm -f "$image"
  mkfs.fat -C -F 32 -s 8 -n DEVLORE98 -i 19980625 "$image" $((300 * 1024)) >/dev/null
fi
ln -sfn "$image" "$WINEPREFIX/dosdevices/c::"

# Only the machine's own drives: no Z: mapping of the host's file system.
rm -f "$WINEPREFIX/dosdevices/z:"

# The control and the report host, installed as on the target machine.
cp "$build/bin/Devlore.DLL" "$system/Devlore.DLL"
mkdir -p "$drive_c/Program Files/Devlore"
cp "$build/bin/report_host.exe" "$build/bin/page_host.exe" "$drive_c/Program Files/Devlore/"

# HKEY_DYN_DATA lives in the Wine server's memory only, as on Windows 9x: keep
# one server alive while the profile is imported, the control registered and
# the report made.
"$devlore_wineserver" -k 2>/dev/null || true
"$devlore_wineserver" -w 2>/dev/null || true
"$devlore_wineserver" -p60
trap '"$devlore_wineserver" -k 2>/dev/null || true' EXIT
cd "$drive_c"
mkdir -p "$drive_c/Devlore"
cp "$root/profiles/reset-hardware.reg" "$drive_c/Devlore/reset-hardware.reg"
cp "$profile" "$drive_c/Devlore/profile.reg"
# No display (wine-env.sh unsets it): the page host's window needs Wine's null
# graphics driver, chosen before the session's first window.
"$WINELOADER" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
"$WINELOADER" regedit /S 'C:\Devlore\reset-hardware.reg'
"$WINELOADER" regedit /S 'C:\Devlore\profile.reg'
"$WINELOADER" regsvr32 /s 'C:\windows\system32\Devlore.DLL' || "$WINELOADER" regsvr32 /s Devlore.DLL


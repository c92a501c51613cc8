#!/usr/bin/env bash
# Inspects a cross-built Windows program without running it: the PE format
# (PE32 for a 32-bit build, PE32+ for a 64-bit one), optionally the
# subsystem, and the import table, which may name only DLLs that come with
# Windows itself. A libstdc++, libgcc or winpthread DLL there means the
# static link failed and the program would not start on a user's PC.
#
# Usage: inspect-exe.sh [--pe32|--pe32+] [--subsystem gui|console] PROGRAM.exe
set -euo pipefail

want_magic=""
want_subsystem=""
exe=""
while [ $# -gt 0 ]; do
  case "$1" in
    --pe32) want_magic=PE32; shift ;;
    --pe32+) want_magic=PE32+; shift ;;
    --subsystem) want_subsystem=$2; shift 2 ;;
    -*) echo "inspect-exe.sh: unknown option $1" >&2; exit 2 ;;
    *) exe=$1; shift ;;
  esac
done
if [ -z "$exe" ] || [ ! -f "$exe" ]; then
  echo "usage: $0 [--pe32|--pe32+] [--subsystem gui|console] PROGRAM.exe" >&2
  exit 2
fi

objdump=""
for candidate in i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump objdump; do
  if command -v "$candidate" >/dev/null 2>&1; then objdump=$candidate; break; fi
done
if [ -z "$objdump" ]; then
  echo "inspect-exe.sh: no objdump found (install the mingw-w64 toolchain)" >&2
  exit 2
fi

headers=$("$objdump" -p "$exe")
failures=0
fail() { echo "FAIL: $exe: $*" >&2; failures=$((failures + 1)); }

# Format: the optional header's magic, 0x10b (PE32) or 0x20b (PE32+).
magic=$(awk '$1 == "Magic" { print $2; exit }' <<<"$headers")
case "$magic" in
  010b) format=PE32 ;;
  020b) format=PE32+ ;;
  *) format="unknown ($magic)" ;;
esac
if [ -n "$want_magic" ] && [ "$format" != "$want_magic" ]; then
  fail "format is $format, expected $want_magic"
fi

# Subsystem: 2 is the Windows GUI, 3 the console.
subsystem_code=$(awk '$1 == "Subsystem" { print $2; exit }' <<<"$headers")
case "$subsystem_code" in
  00000002) subsystem=gui ;;
  00000003) subsystem=console ;;
  *) subsystem="unknown ($subsystem_code)" ;;
esac
if [ -n "$want_subsystem" ] && [ "$subsystem" != "$want_subsystem" ]; then
  fail "subsystem is $subsystem, expected $want_subsystem"
fi

# Imports: every DLL must be one that Windows ships.
system_dlls=(
  advapi32.dll comctl32.dll comdlg32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll
  ole32.dll oleaut32.dll setupapi.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll
  version.dll winmm.dll ws2_32.dll
)
mapfile -t dlls < <(awk '$1 == "DLL" && $2 == "Name:" { print $3 }' <<<"$headers")
if [ ${#dlls[@]} -eq 0 ]; then
  fail "no import table found"
fi
for dll in "${dlls[@]}"; do
  lower=$(tr '[:upper:]' '[:lower:]' <<<"$dll")
  known=0
  for system_dll in "${system_dlls[@]}"; do
    if [ "$lower" = "$system_dll" ]; then known=1; break; fi
  done
  if [ "$known" -eq 0 ]; then
    fail "imports $dll, which is not a Windows system DLL"
  fi
done

if [ "$failures" -ne 0 ]; then
  exit 1
fi
echo "inspect-exe: $(basename "$exe"): $format, $subsystem subsystem, imports ${dlls[*]}"

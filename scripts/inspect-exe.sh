#!/usr/bin/env bash
# Inspects a cross-built Windows program without running it: the PE format
# (PE32 for a 32-bit build, PE32+ for a 64-bit one), optionally the
# subsystem, and the import table, which may name only DLLs that come with
# Windows itself. A libstdc++, libgcc or winpthread DLL there means the
# static link failed and the program would not start on a user's PC.
#
# With --resources it also reads the dialog program's resources back out of
# the file (windres) and compares them with what the program must carry: the
# About box (100) and the main dialog (102) control by control in tab order,
# the string table block of string 101 and the version information, each in
# language 0411 (Japanese) and in 0409 (English), with the texts of
# src/lib/texts.tsv in that language and the project's version; the group
# icon 128 with its one 32x32 256-colour image, language neutral; and the
# application manifest (language neutral) with its four parts:
# requireAdministrator, Common Controls 6, system DPI awareness and the
# supported-OS entries of Windows 7, 8, 8.1 and 10/11, under the project's
# version. Nothing else may be neutral: a neutral text would be shown
# wherever a resource is looked up without a language.
#
# With --stripped it fails when the program still has a symbol table or
# debugging sections.
#
# Usage: inspect-exe.sh [--pe32|--pe32+] [--subsystem gui|console] [--resources] [--stripped]
#                       PROGRAM.exe
set -euo pipefail

want_magic=""
want_subsystem=""
want_resources=0
want_stripped=0
exe=""
while [ $# -gt 0 ]; do
  case "$1" in
    --pe32) want_magic=PE32; shift ;;
    --pe32+) want_magic=PE32+; shift ;;
    --subsystem) want_subsystem=$2; shift 2 ;;
    --resources) want_resources=1; shift ;;
    --stripped) want_stripped=1; shift ;;
    -*) echo "inspect-exe.sh: unknown option $1" >&2; exit 2 ;;
    *) exe=$1; shift ;;
  esac
done
if [ -z "$exe" ] || [ ! -f "$exe" ]; then
  echo "usage: $0 [--pe32|--pe32+] [--subsystem gui|console] [--resources] [--stripped] PROGRAM.exe" >&2
  exit 2
fi

# The first objdump that reads the file: each mingw-w64 one knows its own
# target's format only.
objdump=""
headers=""
for candidate in i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump objdump; do
  if command -v "$candidate" >/dev/null 2>&1 && headers=$("$candidate" -p "$exe" 2>/dev/null); then
    objdump=$candidate
    break
  fi
done
if [ -z "$objdump" ]; then
  echo "inspect-exe.sh: no objdump reads $exe (install the mingw-w64 toolchain)" >&2
  exit 2
fi
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

stripped=""
if [ "$want_stripped" -eq 1 ]; then
  if ! "$objdump" -t "$exe" | grep -qx 'no symbols'; then
    fail "has a symbol table (not stripped)"
  fi
  if "$objdump" -h "$exe" | grep -q ' \.debug'; then
    fail "has debugging sections (not stripped)"
  fi
  stripped=", stripped"
fi

resources=""
if [ "$want_resources" -eq 1 ]; then
  # The windres of the objdump that read the file.
  windres=""
  for candidate in "${objdump%objdump}windres" windres; do
    if command -v "$candidate" >/dev/null 2>&1; then windres=$candidate; break; fi
  done
  if [ -z "$windres" ]; then
    echo "inspect-exe.sh: no windres found (install the mingw-w64 toolchain)" >&2
    exit 2
  fi
  top="$(dirname "${BASH_SOURCE[0]}")/.."
  table="$top/src/lib/texts.tsv"
  # The project's version, 1.0.0.1, and as the version resource writes it.
  version=$(sed -nE 's/^project\(Tolvane VERSION ([0-9]+\.[0-9]+\.[0-9]+\.[0-9]+).*/\1/p' "$top/CMakeLists.txt")
  if [ -z "$version" ]; then
    echo "inspect-exe.sh: no four-part project version in $top/CMakeLists.txt" >&2
    exit 2
  fi
  version_text=${version//./, }
  # text NAME: the table's text in the language under check (column 2 is
  # the Japanese, column 3 the English).
  column=2
  text() {
    local found
    found=$(awk -F '\t' -v name="$1" -v column="$column" '$1 == name { print $column; exit }' "$table")
    if [ -z "$found" ]; then
      echo "inspect-exe.sh: $1 is not in $table" >&2
      exit 2
    fi
    printf '%s' "$found"
  }

  # Every resource: type, name and language from the resource directory.
  # Types: 5 dialog, 6 string, 16 version, in languages 0411 and 0409; 3
  # icon, 14 group icon and 24 the manifest, language neutral.
  directory=$(awk '
    /^[0-9a-f]+   Entry: ID:/ { type = $4; next }
    /^[0-9a-f]+     Entry: ID:/ { name = $4; next }
    /^[0-9a-f]+       Entry: ID:/ { print type, name, $4 }
  ' <<<"$headers" | sed -E 's/,//g; s/(0x)?0*([0-9a-f]+)( |$)/0x\2\3/g')
  expected_resources=("0x3 0x1 0x0" "0xe 0x80 0x0" "0x18 0x1 0x0")
  for language in 0x411 0x409; do
    expected_resources+=("0x5 0x64 $language" "0x5 0x66 $language" "0x6 0x7 $language" "0x10 0x1 $language")
  done
  for wanted in "${expected_resources[@]}"; do
    if ! grep -qx "$wanted" <<<"$directory"; then
      fail "no resource of type/name/language $wanted"
    fi
  done
  if [ "$(wc -l <<<"$directory")" -ne ${#expected_resources[@]} ]; then
    fail "expected ${#expected_resources[@]} resources, found: $(tr '\n' ';' <<<"$directory")"
  fi

  dump_file=$(mktemp)
  trap 'rm -f "$dump_file"' EXIT
  "$windres" -i "$exe" -O rc -o "$dump_file" 2>/dev/null || fail "windres cannot read the resources"
  # Wide strings as UTF-8: windres writes L"..." with \xHHHH for each
  # character outside ASCII (printf needs a UTF-8 locale to write them; the
  # raw data of the icon decodes to bytes of no interest, zeros among them).
  decoded=$(sed -E -e 's/L"/"/g' -e 's/\\x([0-9a-f]{4})/\\u\1/g' "$dump_file" |
    (export LC_ALL=C.UTF-8; while IFS= read -r line; do printf '%b\n' "$line"; done) | tr -d '\000')
  # block START: the resource whose first line matches START, in the
  # language under check (windres writes "LANGUAGE primary, sub" before
  # each resource).
  block() {
    awk -v start="$1" -v language="$rc_language" '
      /^LANGUAGE / { current = $0 }
      current == language && $0 ~ start { on = 1 }
      on { print }
      on && /^END$/ { exit }' <<<"$decoded"
  }
  compare() {
    local what=$1 expected=$2 actual=$3
    if [ "$expected" != "$actual" ]; then
      fail "$what differs:"$'\n'"$(diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") || true)"
    fi
  }

  # The same resources in each language: its number in the version block,
  # its LANGUAGE line from windres, and its column of the table.
  for language in "0411:LANGUAGE 17, 1:2" "0409:LANGUAGE 9, 1:3"; do
    IFS=: read -r block_name rc_language column <<<"$language"
    compare "About box 100 ($block_name)" "100 DIALOG 0, 0, 235, 55
STYLE 0x80c800c0
CAPTION \"$(text kAboutCaption)\"
FONT 9, \"$(text kFontName)\"
BEGIN
  CONTROL 128, 1003, \"STATIC\", 0x50000003, 11, 17, 20, 20
  CONTROL \"$(text kAboutVersion)\", 1004, \"STATIC\", 0x50020080, 40, 10, 119, 8
  CONTROL \"$(text kAboutCopyright)\", 1005, \"STATIC\", 0x50020000, 40, 25, 119, 8
  CONTROL \"$(text kOk)\", 1, \"BUTTON\", 0x50030001, 178, 7, 50, 14
END" "$(block '^100 DIALOG')"

    compare "main dialog 102 ($block_name)" "102 DIALOGEX 0, 0, 232, 109
STYLE 0x90ca00c0
EXSTYLE 0x40000
CAPTION \"$(text kMainCaption)\"
FONT 11, \"$(text kFontName)\"
BEGIN
  CONTROL \"$(text kExecute)\", 1, \"BUTTON\", 0x50010001, 159, 34, 53, 14
  CONTROL \"$(text kQuit)\", 2, \"BUTTON\", 0x50010000, 172, 88, 53, 14
  CONTROL \"\", 1000, \"EDIT\", 0x50810080, 95, 16, 49, 14
  CONTROL \"$(text kTargetLabel)\", -1, \"STATIC\", 0x50020200, 15, 16, 78, 13
  CONTROL \"$(text kExecute)\", 1001, \"BUTTON\", 0x50010000, 159, 65, 53, 14
  CONTROL \"$(text kGroupMassStorage)\", -1, \"BUTTON\", 0x50000007, 7, 7, 218, 47
  CONTROL \"$(text kGroupNormal)\", -1, \"BUTTON\", 0x50000007, 7, 57, 218, 27
  CONTROL \"$(text kReadOnly)\", 1002, \"BUTTON\", 0x50010003, 159, 17, 61, 10
END" "$(block '^102 DIALOG')"

    compare "string table ($block_name)" "STRINGTABLE
BEGIN
  101, \"$(text kAboutMenuItem)\"
END" "$(block '^STRINGTABLE')"

    compare "version information ($block_name)" "1 VERSIONINFO
 FILEVERSION $version_text
 PRODUCTVERSION $version_text
 FILEFLAGSMASK 0x3f
 FILEOS 0x4
 FILETYPE 0x1
BEGIN
  BLOCK \"StringFileInfo\"
  BEGIN
    BLOCK \"${block_name}04B0\"
    BEGIN
      VALUE \"CompanyName\", \"\"
      VALUE \"FileDescription\", \"$(text kVersionDescription)\"
      VALUE \"FileVersion\", \"$version_text\"
      VALUE \"InternalName\", \"$(text kVersionInternalName)\"
      VALUE \"LegalCopyright\", \"\"
      VALUE \"LegalTrademarks\", \"\"
      VALUE \"OriginalFilename\", \"$(text kVersionOriginalFilename)\"
      VALUE \"ProductName\", \"$(text kVersionDescription)\"
      VALUE \"ProductVersion\", \"$version_text\"
    END
  END
  BLOCK \"VarFileInfo\"
  BEGIN
    VALUE \"Translation\", 0x${block_name#0}, 1200
  END
END" "$(block '^1 VERSIONINFO')"
  done

  # The group icon, undecoded: one element, 32 x 32, 0 (= 256) colours,
  # one plane, 8 bits per pixel.
  icon_group=$(awk '/^128 14 /{ on = 1 } on { print } on && /^END$/ { exit }' "$dump_file")
  if ! grep -q 'Has 1 elements' <<<"$icon_group" ||
    ! grep -qF '"\040\040\000\000", 1, 8,' <<<"$icon_group"; then
    fail "icon 128 is not one 32x32 256-colour image: $icon_group"
  fi

  # The manifest as one line of XML: windres writes it as strings, one per
  # line, with quotes doubled.
  manifest=$(awk '/^1 24 /{ on = 1; next } on && /^END$/ { exit } on && /^ *"/ { print }' "$dump_file" |
    sed -E 's/^ *"//; s/"$//; s/\\n$//; s/""/"/g' | tr -s ' \n' '  ')
  manifest_parts=(
    "<assemblyIdentity type=\"win32\" name=\"Tolvane\" version=\"$version\""
    '<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>'
    '<assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'
    '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>'
    '<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>'
    '<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>'
    '<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>'
    '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>'
  )
  for part in "${manifest_parts[@]}"; do
    if ! grep -qF -- "$part" <<<"$manifest"; then
      fail "the manifest lacks $part"
    fi
  done
  resources=", resources 100 102 101 and version $version in languages 0411 and 0409, icon 128 and manifest neutral"
fi

if [ "$failures" -ne 0 ]; then
  exit 1
fi
echo "inspect-exe: $(basename "$exe"): $format, $subsystem subsystem$stripped, imports ${dlls[*]}$resources"

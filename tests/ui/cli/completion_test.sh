#!/usr/bin/env bash
# completion_test.sh COMPLETION
# Loads the bash completion of tolvane in a plain bash (none of the
# bash-completion package's helpers) and checks what it offers for command
# lines given as the words bash splits them into, "|" marking the cursor's
# word. The USB disks come from a fake sysfs and /dev tree: a USB disk with
# its sg node, a USB disk whose block node has no /dev entry, a USB CD drive
# (SCSI type 5) and a SATA disk, of which only the first two count.
# When the bash-completion package is installed the table runs once more
# with it loaded, so that its helpers do not change what is offered.
set -uo pipefail

completion=${1:?usage: completion_test.sh COMPLETION}
completion=$(cd "$(dirname "$completion")" && pwd)/$(basename "$completion")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# scsi ADDRESS TYPE PARENT NODE...: a SCSI device below PARENT (a path
# under sys/devices) with its block and sg nodes, linked from
# sys/bus/scsi/devices; a node given as name! has no /dev entry.
scsi() {
  local address=$1 type=$2 parent=$3 node dir
  shift 3
  dir=$work/sys/devices/$parent/$address
  mkdir -p "$dir" "$work/sys/bus/scsi/devices" "$work/dev"
  echo "$type" >"$dir/type"
  ln -s "../../../devices/$parent/$address" "$work/sys/bus/scsi/devices/$address"
  for node in "$@"; do
    case ${node%!} in
      sg*) mkdir -p "$dir/scsi_generic/${node%!}" ;;
      *) mkdir -p "$dir/block/${node%!}/${node%!}1" ;;
    esac
    [[ $node == *! ]] || touch "$work/dev/${node%!}" "$work/dev/${node%!}1"
  done
}
usb=pci0000:00/0000:00:14.0/usb2
scsi 6:0:0:0 0 "$usb/2-1/2-1:1.0/host6/target6:0:0" sdc sg2
scsi 7:0:0:0 0 "$usb/2-2/2-2:1.0/host7/target7:0:0" sdd! sg4
scsi 8:0:0:0 5 "$usb/2-3/2-3:1.0/host8/target8:0:0" sr0 sg5
scsi 0:0:0:0 0 pci0000:00/0000:00:17.0/ata1/host0/target0:0:0 sda sg0

# The rows: the words up to the cursor, then what must be offered (sorted).
rows=(
  'tolvane |'                                '-- return status switch'
  'tolvane s|'                               '-- status switch'
  'tolvane -|'                               '-- --help --simulate --version'
  'tolvane --simulate |'                     '-- return status switch'
  'tolvane status -|'                        '-- --help --json --simulate'
  'tolvane switch |'                         '-- --help --id --json --simulate --writable --yes'
  'tolvane switch --id 3 --yes -|'           '-- --help --json --simulate --writable'
  'tolvane switch --id |'                    '-- 0 1 2 3 4 5 6'
  'tolvane switch --id 6|'                   '-- 6'
  'tolvane switch --id =|'                   '-- 0 1 2 3 4 5 6'
  'tolvane switch --id = 2|'                 '-- 2'
  'tolvane switch --id=4|'                   '-- --id=4'
  'tolvane switch --id = 1 --w|'             '-- --writable'
  'tolvane return |'                         '-- --disk --help --json --simulate --yes'
  'tolvane return --disk |'                  '-- /dev/sdc /dev/sg2 /dev/sg4'
  'tolvane return --disk /dev/sg|'           '-- /dev/sg2 /dev/sg4'
  'tolvane return --disk = /dev/sd|'         '-- /dev/sdc'
  'tolvane return --disk=/dev/sg|'           '-- --disk=/dev/sg2 --disk=/dev/sg4'
  'tolvane return --disk /dev/sg2 --yes |'   '-- --help --json --simulate'
  'tolvane status switch -|'                 '-- --help --json --simulate'
)

# offered LINE: what the completion offers, sorted, on one line.
offered() {
  local line=${1%|}
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *' ' ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE=$line COMP_POINT=${#line}
  COMPREPLY=()
  _tolvane tolvane "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ' -
}

# run_table LABEL: every row, and a tree without SCSI devices.
run_table() {
  local label=$1 failures=0 i got want
  if [[ $(complete -p tolvane 2>/dev/null) != 'complete -F _tolvane tolvane' ]]; then
    echo "FAIL ($label): tolvane is not bound to _tolvane: $(complete -p tolvane 2>&1)"
    return 1
  fi
  for ((i = 0; i < ${#rows[@]}; i += 2)); do
    got="-- $(_tolvane_root=$work offered "${rows[i]}")"
    want=${rows[i + 1]}
    if [[ ${got% } != "$want" ]]; then
      echo "FAIL ($label): '${rows[i]}' offers '${got% }', want '$want'"
      failures=$((failures + 1))
    fi
  done
  got=$(_tolvane_root=$work/none offered 'tolvane return --disk |')
  if [[ -n $got ]]; then
    echo "FAIL ($label): no SCSI devices, yet --disk offers '$got'"
    failures=$((failures + 1))
  fi
  echo "$label: $((${#rows[@]} / 2 + 1)) command lines, $failures failed"
  return $((failures != 0))
}

# shellcheck source=/dev/null
source "$completion"
run_table 'plain bash' || exit 1

framework=/usr/share/bash-completion/bash_completion
if [[ -r $framework ]]; then
  complete -r tolvane
  # shellcheck source=/dev/null
  source "$framework" && source "$completion"
  run_table 'with bash-completion' || exit 1
else
  echo "bash-completion is not installed: the run with its helpers loaded is left out"
fi

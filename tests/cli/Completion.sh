#!/usr/bin/env bash
# The bash completion of tolvanex-cli: what Tab offers after each line.
#   Completion.sh SCRIPT
set -u
script=${1:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir carpeta
touch a.hex B.HEX notas.txt
# compopt only works inside a completion; here it has nothing to change.
compopt() { :; }
. "$script"

failed=0
# check LINE WANT...: completes the last word of LINE (split as readline splits it).
check() {
  local line=$1
  shift
  read -r -a COMP_WORDS <<< "${line//=/ = }"
  [[ $line == *' ' ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _tolvanex_cli
  local got want
  got=$( ((${#COMPREPLY[@]})) && printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
  want=$(printf '%s\n' "$@" | sed '/^$/d' | sort | tr '\n' ' ')
  if [[ $got != "$want" ]]; then
    echo "FAIL '$line': want [$want], got [$got]"
    failed=1
  fi
}

check 'tolvanex-cli ' checksum image check flash list -v --verbose -h --help --version
check 'tolvanex-cli -v f' flash
check 'tolvanex-cli c' checksum check
check 'tolvanex-cli flash --' --help --verbose --wait --wait= --device= --all --watch --progress=json --quiet --strict
check 'tolvanex-cli flash --device=' path: place: serial:
check 'tolvanex-cli flash --device=pl' place:
check 'tolvanex-cli flash --progress=' json
check 'tolvanex-cli flash --wait=' ''
check 'tolvanex-cli flash --progress=j' json
check 'tolvanex-cli list -' -h --help -v --verbose --json
check 'tolvanex-cli list ' ''
check 'tolvanex-cli image -o ' a.hex B.HEX notas.txt carpeta
check 'tolvanex-cli image --' --help --verbose --output
check 'tolvanex-cli check ' a.hex B.HEX carpeta
check 'tolvanex-cli flash --strict a' a.hex
exit $failed

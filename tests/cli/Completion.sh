#!/usr/bin/env bash
# The bash completion of tolvanex-cli: what Tab offers after each line.
#   Completion.sh SCRIPT
set -u
script=${1:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir carpeta 'mi carpeta'
touch -- a.hex B.HEX notas.txt 'con espacio ñ.hex' 'año nuevo.txt' -raro.hex firmware.json
# compopt only works inside a completion; here it has nothing to change.
compopt() { :; }
. "$script"

failed=0
# Splits LINE into COMP_WORDS as readline does: at blanks and around "=",
# but not inside quotes or after a backslash, which stay in the word.
split_line() {
  local line=$1 word='' quote='' i c
  COMP_WORDS=()
  for ((i = 0; i < ${#line}; i++)); do
    c=${line:i:1}
    if [[ -n $quote ]]; then
      word+=$c
      [[ $c == "$quote" ]] && quote=''
    elif [[ $c == \\ ]]; then
      word+=$c${line:i+1:1}
      ((++i))
    elif [[ $c == [\'\"] ]]; then
      word+=$c quote=$c
    elif [[ $c == ' ' || $c == = ]]; then
      [[ -n $word ]] && COMP_WORDS+=("$word")
      word=''
      [[ $c == = ]] && COMP_WORDS+=('=')
    else
      word+=$c
    fi
  done
  [[ -n $word || $line == *' ' ]] && COMP_WORDS+=("$word")
}

# check LINE WANT...: completes the last word of LINE.
check() {
  local line=$1
  shift
  split_line "$line"
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _tolvanex_cli
  local got want
  # One candidate a field, so a name split at its blanks shows.
  got=$( ((${#COMPREPLY[@]})) && printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' '|')
  want=$(printf '%s\n' "$@" | sed '/^$/d' | sort | tr '\n' '|')
  if [[ $got != "$want" ]]; then
    echo "FAIL '$line': want [$want], got [$got]"
    failed=1
  fi
}

check 'tolvanex-cli ' checksum image check flash list -v --verbose -h --help --version
check 'tolvanex-cli -v f' flash
check 'tolvanex-cli c' checksum check
check 'tolvanex-cli flash --' --help --verbose --wait --wait= --device= --all --watch --progress=json --quiet --strict \
  --log --catalogue= --release=
# Not what the line has, nor what the tool refuses beside it.
check 'tolvanex-cli -v flash --all --' --help --progress=json --quiet --strict --log --catalogue= --release=
check 'tolvanex-cli flash --device=1-1 -q --log x.log -' -h --help -v --verbose --wait --wait= --strict \
  --catalogue= --release=
check 'tolvanex-cli flash --watch --progress=json -' -h --help -v --verbose --strict --log --catalogue= --release=
check 'tolvanex-cli flash --log no' notas.txt
check 'tolvanex-cli flash --log=año' 'año nuevo.txt'
# A catalogue in place of FILE: JSON files and folders; a version is the user's.
check 'tolvanex-cli flash --catalogue=' firmware.json carpeta 'mi carpeta'
check 'tolvanex-cli check --catalogue f' firmware.json
check 'tolvanex-cli image --release=' ''
check 'tolvanex-cli checksum --release ' ''
check 'tolvanex-cli flash --device=' path: place: serial:
check 'tolvanex-cli flash --device=pl' place:
check 'tolvanex-cli flash --progress=' json
check 'tolvanex-cli flash --wait=' ''
check 'tolvanex-cli flash --progress=j' json
check 'tolvanex-cli list -' -h --help -v --verbose --json
check 'tolvanex-cli list ' ''
check 'tolvanex-cli image -o ' a.hex B.HEX notas.txt carpeta 'mi carpeta' 'con espacio ñ.hex' 'año nuevo.txt' -raro.hex \
  firmware.json
check 'tolvanex-cli image --' --help --output --catalogue= --release=
check 'tolvanex-cli check ' a.hex B.HEX carpeta 'mi carpeta' 'con espacio ñ.hex' -raro.hex
check 'tolvanex-cli flash --strict a' a.hex
# Names with blanks and non-ASCII letters come whole, however the typed part is quoted.
check 'tolvanex-cli check con' 'con espacio ñ.hex'
check 'tolvanex-cli check con\ esp' 'con espacio ñ.hex'
check "tolvanex-cli check 'con esp" 'con espacio ñ.hex'
check 'tolvanex-cli flash "con espacio ñ' 'con espacio ñ.hex'
check 'tolvanex-cli checksum mi\ ' 'mi carpeta'
check 'tolvanex-cli image a.hex -o añ' 'año nuevo.txt'
check 'tolvanex-cli image a.hex -o año\ ' 'año nuevo.txt'
check 'tolvanex-cli image a.hex --output=año' 'año nuevo.txt'
# After "--" only file names, even those that begin with "-".
check 'tolvanex-cli image -- -' -raro.hex
check 'tolvanex-cli flash --strict -- ' a.hex B.HEX carpeta 'mi carpeta' 'con espacio ñ.hex' -raro.hex
check 'tolvanex-cli checksum -- --' ''
# -v only where a command searches for the controller.
check 'tolvanex-cli checksum -' -h --help --catalogue= --release=
exit $failed

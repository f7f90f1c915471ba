#!/usr/bin/env bash
# The bash completion of tolvanex-cli: what Tab offers after each line, against
# what the tool itself says it takes (its help, and the usage errors of the
# options it refuses together), so a new option or command cannot drift.
#   Completion.sh SCRIPT TOOL
set -u
script=${1:?} tool=${2:?}
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

# The tool's table as its help gives it. The commands: "  NAME ..." under "órdenes:".
commands=$("$tool" --help | sed -n '/^órdenes:/,/^$/s/^  \([a-z]\+\).*/\1/p')
[[ -n $commands ]] || { echo "FAIL: no commands in $tool --help"; exit 1; }

# The options of a command's help (the tool's, without one), one a line as
# "-X --name KIND": KIND is "flag", "optional" ([=NAME]), "word=WORD" (=json),
# "value=" (=NAME, offered as --name=) or "value" (NAME, as the next word).
help_options() {
  local line short long rest
  while IFS= read -r line; do
    [[ $line =~ ^\ \ (-(.),\ |\ \ \ \ )--([a-z-]+)(.*)$ ]] || continue
    short=${BASH_REMATCH[2]:+-${BASH_REMATCH[2]}} long=--${BASH_REMATCH[3]} rest=${BASH_REMATCH[4]}
    case $rest in
    \[=*) echo "${short:--} $long optional" ;;
    =[a-z]*) rest=${rest%% *} && echo "${short:--} $long word$rest" ;;
    =*) echo "${short:--} $long value=" ;;
    \ [!\ ]*) echo "${short:--} $long value" ;;
    *) echo "${short:--} $long flag" ;;
    esac
  done < <("$tool" "$@" --help | sed -n '/^opciones:/,/^$/p')
}

# What Tab should offer for each: --wait and --wait=, --device=, --progress=json.
declare -A offered long_of written
read_options() {
  local key=$1 short long kind
  shift
  offered[$key]=''
  while read -r short long kind; do
    [[ $short == - ]] || { offered[$key]+=" $short" long_of[$short]=$long; }
    case $kind in
    optional) offered[$key]+=" $long $long=" written[$key $long]=$long ;;
    word=*) offered[$key]+=" $long=${kind#word=}" written[$key $long]=$long=${kind#word=} ;;
    value*) offered[$key]+=" $long${kind#value}" written[$key $long]=$long=x ;;
    *) offered[$key]+=" $long" written[$key $long]=$long ;;
    esac
  done < <(help_options "$@")
}
read_options tool
for c in $commands; do
  read_options "$c" "$c"
done

# Which options the tool refuses together, by its usage errors: a line of two
# options that is refused for anything but its operands. The operand that
# does not fit keeps every line from running (the options are checked first).
declare -A refused
for c in $commands; do
  if "$tool" "$c" --help | grep -q 'ARCHIVO'; then
    # A catalogue's release in place of FILE, so FILE is one too many.
    base=(--catalogue=x --release=1 x)
  else
    base=(x)
  fi
  names=()
  for o in ${offered[$c]}; do
    [[ $o == --* && $o != --help && $o != --catalogue=* && $o != --release=* ]] || continue
    o=${o%%=*}
    [[ " ${names[*]} " == *" $o "* ]] || names+=("$o")
  done
  for a in "${names[@]}"; do
    for b in "${names[@]}"; do
      [[ $a < $b ]] || continue
      err=$("$tool" "$c" "${written[$c $a]}" "${written[$c $b]}" "${base[@]}" 2>&1 </dev/null >/dev/null)
      [[ $err == *ARCHIVO* ]] && continue
      refused[$c $a]+=" $b" refused[$c $b]+=" $a"
    done
  done
done
[[ -n ${refused[flash --all]:-} ]] || { echo "FAIL: the tool refuses nothing beside flash --all"; exit 1; }

# check_given LINE: completes the last word of LINE, "-" or "--", which must
# give the options of its command but those LINE has and those the tool
# refuses beside them.
check_given() {
  local line=$1 command='' given=' ' w o k want=()
  for w in ${line#tolvanex-cli }; do
    case $w in
    --*) given+="${w%%=*} " ;;
    -?*) for ((k = 1; k < ${#w}; k++)); do given+="${long_of[-${w:k:1}]:-} "; done ;;
    -) ;;
    *) [[ -n $command ]] || command=$w ;;
    esac
  done
  for w in $given; do
    given+="${refused[$command $w]:-} "
  done
  for o in ${offered[$command]}; do
    w=${o%%=*}
    [[ $w == --* ]] || w=${long_of[$w]}
    [[ $o == "${line##* }"* && $given != *" $w "* ]] && want+=("$o")
  done
  check "$line" "${want[@]}"
}

check 'tolvanex-cli ' $commands ${offered[tool]}
for c in $commands; do
  # Each command's options, and none the tool refuses beside one given.
  check_given "tolvanex-cli $c -"
  check_given "tolvanex-cli $c --"
  for o in ${offered[$c]}; do
    [[ $o == --* && $o != --help ]] && check_given "tolvanex-cli $c ${written[$c ${o%%=*}]} -"
  done
done
check_given 'tolvanex-cli -v flash --all --'
check_given 'tolvanex-cli flash --device=1-1 -q --log x.log -'
check_given 'tolvanex-cli flash --watch --progress=json -'
check_given 'tolvanex-cli flash -qv --strict -'
check 'tolvanex-cli -v f' flash
check 'tolvanex-cli c' checksum check
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
# A value as the next word, as the tool reads it; not --wait's, which may be left out.
check 'tolvanex-cli flash --progress ' json
check 'tolvanex-cli flash --device s' serial:
check 'tolvanex-cli flash --wait a' a.hex
# No such command: nothing to offer.
check 'tolvanex-cli nada -' ''
check 'tolvanex-cli list ' ''
check 'tolvanex-cli image -o ' a.hex B.HEX notas.txt carpeta 'mi carpeta' 'con espacio ñ.hex' 'año nuevo.txt' -raro.hex \
  firmware.json
check 'tolvanex-cli check ' a.hex B.HEX carpeta 'mi carpeta' 'con espacio ñ.hex' ./-raro.hex
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

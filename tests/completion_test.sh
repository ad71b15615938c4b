#!/usr/bin/env bash
# The bash completions, loaded as bash-completion loads them and asked what
# a user's TAB would get.
set -u
dir=$(dirname "$0")/../completions
for f in freqimg freqimg-inspect freqimg-send; do
    # shellcheck source=/dev/null
    source "$dir/$f" || { echo "cannot load $f"; exit 1; }
done
failed=0
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

# Completes the words of `line`, the last being the one under the cursor,
# and checks the offer against `want`, one a line.
expect() {
    local want=$1 line=$2 function
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    function=$(complete -p "${COMP_WORDS[0]}" | sed 's/.*-F \([^ ]*\).*/\1/')
    COMPREPLY=()
    "$function"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort)
    if [[ $got != "$(printf '%s' "$want" | sort)" ]]; then
        echo "'$line': offered [$got], not [$want]"
        failed=1
    fi
}

mkdir -p "$tree/dev/serial/by-id" "$tree/work"
touch "$tree/dev/ttyUSB0" "$tree/dev/ttyACM0" "$tree/dev/ttyS0" "$tree/work/upload.bin"
ln -s ../../ttyUSB0 "$tree/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"
_freqimg_dev=$tree/dev
cd "$tree/work" || exit 1

expect $'--speed' 'freqimg-send --sp'
expect $'--speed\n--timeout\n--list-ports\n--help\n--version' 'freqimg-send -'
expect "$tree/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"$'\n'"$tree/dev/ttyUSB0"$'\n'"$tree/dev/ttyACM0" \
    'freqimg-send '
expect "$tree/dev/ttyUSB0" "freqimg-send --speed 4800 $tree/dev/ttyU"
expect 'upload.bin' "freqimg-send $tree/dev/ttyUSB0 up"
expect '9600' 'freqimg-send --speed 96'
expect $'--freq-list' 'freqimg-inspect --fr'
expect 'upload.bin' 'freqimg-inspect --save up'
expect 'upload.bin' 'freqimg-inspect up'
expect '' 'freqimg '
exit $failed

#!/bin/bash
# Runs the bash completion script the way bash does on <Tab> and checks what it offers.
# Usage: completion_test.sh <completions/orvane>
set -u

script=$(realpath "$1")
failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# shellcheck source=/dev/null
source "$script"

# Completes the last word of the given words and prints the offers sorted, one a line.
offers() {
    COMP_WORDS=(orvane "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _orvane orvane "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | LC_ALL=C sort
}

expect() {
    local name=$1 wanted=$2
    shift 2
    local got
    got=$(offers "$@")
    if [[ $got != "$wanted" ]]; then
        printf 'FAIL %s: orvane %s<Tab>\n  wanted: %s\n  got:    %s\n' "$name" "$*" \
            "$(echo "$wanted" | tr '\n' ' ')" "$(echo "$got" | tr '\n' ' ')"
        failures=$((failures + 1))
    fi
}

cd "$work" || exit 1
mkdir rips
touch track01.wav TRACK02.WAV album.dtswav raw.dts out.flac out.mka notes.txt 'with space.wav' cover.JPG

expect "options" $'--track\n--tracktotal' --tra
expect "all options" "$(printf '%s\n' --album --album-artist --albumartist --artist --batch --comment --composer \
    --conceal-damage --copyright --cue --date --disc --disctotal --eac --gapless --genre --help --jobs --output-dir --overwrite --picture --quiet --scan --skip-existing --tag --title --track \
    --tracktotal --version --year | LC_ALL=C sort)" -
expect "input names" $'TRACK02.WAV\nalbum.dtswav\nout.flac\nraw.dts\nrips\ntrack01.wav\nwith space.wav' ''
expect "input prefix" 'track01.wav' t
expect "extensions in any letter case" 'TRACK02.WAV' T
expect "input falls back to any file" 'notes.txt' n
expect "output names" $'TRACK02.WAV\nout.flac\nout.mka\nraw.dts\nrips\ntrack01.wav\nwith space.wav' track01.wav ''
expect "output prefix" $'out.flac\nout.mka' track01.wav o
expect "output after options" $'out.flac\nout.mka' --eac --overwrite track01.wav o
expect "no input fallback for the output" '' track01.wav n
expect "tag value is free text" '' --title ''
expect "tag value is free text after an operand" '' track01.wav --artist t
expect "a tag value is no operand" 'track01.wav' --title 'Some title' t
expect "a value that looks like an option" 'track01.wav' --title --quiet t
expect "a picture is a JPEG or PNG file" $'cover.JPG\nrips' --picture ''
expect "a picture is no operand" $'out.flac\nout.mka' --picture cover.JPG track01.wav o
expect "--tag takes free text" '' --tag ''
expect "scan takes one operand" '' --scan track01.wav ''
expect "nothing after two operands" '' track01.wav out.flac ''
expect "options after two operands" '--overwrite' track01.wav out.flac --ov
touch -- -x.wav
expect "gapless takes a format" 'flac' --gapless f
expect "gapless takes every track" 'track01.wav' --gapless flac TRACK02.WAV t
expect "batch takes a format" 'flac' --batch f
expect "batch takes every file" 'track01.wav' --batch flac TRACK02.WAV t
expect "output-dir takes a folder" 'rips' --output-dir r
expect "a folder is no operand" 'track01.wav' --output-dir rips --jobs 2 t
touch disc.cue
expect "gapless takes a CUE sheet" 'disc.cue' --gapless wav d
expect "cue takes a sheet" $'disc.cue\nrips' track01.wav --cue ''
expect "the output after a cue sheet" $'out.flac\nout.mka' track01.wav --cue disc.cue o
expect "names after -- may start with a hyphen" '-x.wav' -- -
expect "the output after -- names" $'out.flac\nout.mka' -- -x.wav o

if ((failures > 0)); then
    echo "$failures completion case(s) failed"
    exit 1
fi
echo "all completion cases passed"

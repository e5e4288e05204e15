#!/usr/bin/env bash
# Generates the operator prompts and the characters of weight numbers as
# mono 16 kHz 16-bit WAV files, spoken in Russian by espeak-ng, into
# data/sounds/ (or the folder given as the first argument). The program only
# needs the WAV files, which are committed; run this again after changing a
# text. Needs espeak-ng and sox.
set -euo pipefail

out=${1:-"$(cd "$(dirname "$0")/../.." && pwd)/data/sounds"}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for tool in espeak-ng sox; do
  command -v "$tool" >/dev/null || { echo "generate.sh: $tool is missing" >&2; exit 1; }
done

# speak <file name without .wav> <text>
speak() {
  espeak-ng -v ru -s 150 -w "$tmp/raw.wav" -- "$2"
  # Resample, trim the leading and trailing silence, keep a short tail.
  sox "$tmp/raw.wav" -r 16000 -c 1 -b 16 "$out/$1.wav" \
    silence 1 0.02 0.5% reverse silence 1 0.02 0.5% reverse pad 0 0.05
}

speak Putoff "Снимите гирю"
speak Sample_Puton "Поставьте эталонную гирю"
speak Load_Puton "Поставьте проверяемую гирю"
speak Number "номер"
speak Without_Number "без номера"
speak Tare "Обнулите показания"
speak End "Проверка закончена"
speak StartWarning "Внимание! Перед началом работы весы должны быть разгружены!"

# A two-tone chime for notices.
sox -n -r 16000 -c 1 -b 16 "$out/notify.wav" \
  synth 0.12 sine 880 synth 0.12 sine 880 : synth 0.2 sine 660 fade 0 0.2 0.1 vol 0.5

digits=(ноль один два три четыре пять шесть семь восемь девять)
for i in "${!digits[@]}"; do speak "$i" "${digits[$i]}"; done

# Letters that weight numbers commonly hold, Latin and Cyrillic (different
# characters, different files).
declare -A letters=(
  [A]="эй" [B]="би" [C]="си" [D]="ди" [E]="и" [K]="кей" [M]="эм" [H]="эйч"
  [O]="оу" [P]="пи" [T]="ти" [X]="икс"
  [А]="а" [Б]="бэ" [В]="вэ" [Г]="гэ" [Д]="дэ" [Е]="е" [К]="ка" [М]="эм"
  [Н]="эн" [О]="о" [П]="пэ" [Р]="эр" [С]="эс" [Т]="тэ"
)
for c in "${!letters[@]}"; do speak "$c" "${letters[$c]}"; done
speak "-" "дефис"

echo "generate.sh: $(ls "$out" | wc -l) files in $out"

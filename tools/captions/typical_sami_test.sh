#!/bin/sh
# Runs sublumen-captions on a typical SAMI file (CRLF line ends, a titled header, two captions), on a
# missing file, on SubRip and ASS files and with a caption shift and rate, and compares its output byte
# for byte.
set -eu
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

printf '<SAMI>\r\n<HEAD>\r\n<TITLE>Sample</TITLE>\r\n</HEAD>\r\n<BODY>\r\n' > "$dir/typical.smi"
printf '<SYNC Start=1000><P Class=KRCC>Hello<br>World\r\n' >> "$dir/typical.smi"
printf '<SYNC Start=3000><P Class=KRCC>&nbsp;\r\n' >> "$dir/typical.smi"
printf '</BODY>\r\n</SAMI>\r\n' >> "$dir/typical.smi"

printf '00:01.00[      1000]:Hello\nWorld\n00:03.00[      3000]: \n71582:47.29[4294967295]:\n' > "$dir/expected"
SUBLUMEN_DEBUG_OUTPUT=1 "$tool" "$dir/typical.smi" > "$dir/out" 2> "$dir/err"
cmp "$dir/expected" "$dir/out"
# The debug log goes to the debugger output (standard error here), never into the entries.
grep -q 'Caption::loadSMI' "$dir/err"

status=0
"$tool" "$dir/missing.smi" > "$dir/out" || status=$?
test "$status" -eq 1
printf 'Caption:: load Fail -1.\n' > "$dir/expected"
cmp "$dir/expected" "$dir/out"
# A two-language file: --classes lists both, --class ENCC shows English alone, untouched by the
# Korean entries.
printf '<SAMI><HEAD><STYLE><!--\r\n.KRCC { Name:Korean; lang:ko-KR; }\r\n.ENCC { Name:English; lang:en-US; }\r\n' > "$dir/two.smi"
printf -- '--></STYLE></HEAD><BODY>\r\n<SYNC Start=1000><P Class=KRCC>Ko\r\n<SYNC Start=1012><P Class=ENCC>En\r\n' >> "$dir/two.smi"
printf '<SYNC Start=3000><P Class=KRCC>&nbsp;\r\n<SYNC Start=4000><P Class=ENCC>&nbsp;\r\n</BODY></SAMI>\r\n' >> "$dir/two.smi"
printf 'KRCC\tKorean\tko-KR\t2\nENCC\tEnglish\ten-US\t2\n' > "$dir/expected"
"$tool" --classes "$dir/two.smi" > "$dir/out"
cmp "$dir/expected" "$dir/out"
printf '00:01.01[      1012]:En\n00:04.00[      4000]: \n71582:47.29[4294967295]:\n' > "$dir/expected"
"$tool" --class ENCC "$dir/two.smi" > "$dir/out"
cmp "$dir/expected" "$dir/out"
# A caption shift and rate print each entry at the movie time the player shows it: (start - shift) / rate,
# never before 0; with --class too. A rate outside 0.8-1.25 or a shift that is no number is refused.
printf '00:00.40[       400]:Hello\nWorld\n00:02.00[      2000]: \n71582:47.29[4294967295]:\n' > "$dir/expected"
"$tool" --shift 500 --rate 1.25 "$dir/typical.smi" > "$dir/out"
cmp "$dir/expected" "$dir/out"
printf '00:00.00[         0]:Hello\nWorld\n00:01.00[      1000]: \n71582:47.29[4294967295]:\n' > "$dir/expected"
"$tool" --shift 2000 "$dir/typical.smi" > "$dir/out"
cmp "$dir/expected" "$dir/out"
printf '00:01.26[      1265]:En\n00:05.00[      5000]: \n71582:47.29[4294967295]:\n' > "$dir/expected"
"$tool" --rate 0.8 --class ENCC "$dir/two.smi" > "$dir/out"
cmp "$dir/expected" "$dir/out"
for bad in "--rate 1.3" "--rate 0,9" "--shift 12ms" "--shift 3000000000"; do
  status=0
  # shellcheck disable=SC2086
  "$tool" $bad "$dir/typical.smi" > "$dir/out" 2> "$dir/err" || status=$?
  test "$status" -eq 2
  test ! -s "$dir/out"
  grep -q "sublumen-captions: ${bad%% *}" "$dir/err"
done
# SubRip and SSA/ASS files print the same way: overlapping cues shown together, an empty entry at the end.
printf '1\r\n00:00:01,000 --> 00:00:03,000\r\n<i>One</i>\r\n\r\n2\r\n00:00:02,000 --> 00:00:04,000\r\nTwo\r\n' > "$dir/cues.srt"
printf '[Script Info]\n\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n' > "$dir/cues.ass"
printf 'Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,{\\i1}A\\Nb\n' >> "$dir/cues.ass"
{
  printf '==> %s <==\n00:01.00[      1000]:One\n00:02.00[      2000]:One\nTwo\n' "$dir/cues.srt"
  printf '00:03.00[      3000]:Two\n00:04.00[      4000]:\n71582:47.29[4294967295]:\n\n'
  printf '==> %s <==\n00:01.00[      1000]:A\nb\n00:02.00[      2000]:\n71582:47.29[4294967295]:\n' "$dir/cues.ass"
} > "$dir/expected"
"$tool" "$dir/cues.srt" "$dir/cues.ass" > "$dir/out"
cmp "$dir/expected" "$dir/out"
echo "sublumen-captions: typical file, missing file, two-language file, text caption files, shift and rate as expected"

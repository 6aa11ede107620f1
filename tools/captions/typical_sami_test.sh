#!/bin/sh
# Runs sublumen-captions on a typical SAMI file (CRLF line ends, a titled header, two captions) and on a
# missing file, and compares its output byte for byte.
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
echo "sublumen-captions: typical file and missing file as expected"

#!/usr/bin/env bash
# Runs the demo's scripted tour without a display and checks that its
# screenshots show the three states: running blinks lime and green,
# the alarm blinks the banded pictures (red with lime, red with green),
# stopped is red.
set -uo pipefail
root=$1
shots=$root/build/demo/screenshots
rm -rf "$shots"
env -u DISPLAY bash "$root/scripts/demo.sh" || { echo "FAIL: the demo's tour failed"; exit 1; }

# Pixels of one colour in a screenshot.
count() { convert "$1" -format %c histogram:info:- | awk -v c="$2" 'index($0, c) { n += $1 } END { print n + 0 }'; }
fail=0
kinds=()
for shot in running-a running-b alarm-a alarm-b stopped-a stopped-b; do
  f=$shots/$shot.png
  [ -f "$f" ] || { echo "FAIL: $f is missing"; fail=1; continue; }
  lime=$(count "$f" "#00FF00") green=$(count "$f" "#008000") red=$(count "$f" "#FF0000")
  kind=other
  [ "$lime" -gt 0 ] && [ "$red" -eq 0 ] && kind=light
  [ "$green" -gt 0 ] && [ "$red" -eq 0 ] && [ "$lime" -eq 0 ] && kind=dark
  [ "$red" -gt 0 ] && [ "$lime" -gt 0 ] && kind=banded-light
  [ "$red" -gt 0 ] && [ "$green" -gt 0 ] && [ "$lime" -eq 0 ] && kind=banded-dark
  [ "$red" -gt 0 ] && [ "$green" -eq 0 ] && [ "$lime" -eq 0 ] && kind=red
  echo "$shot: lime $lime, green $green, red $red -> $kind"
  kinds+=("$kind")
done
pair() { [ "$1 $2" = "$3 $4" ] || [ "$1 $2" = "$4 $3" ]; }
pair "${kinds[0]:-}" "${kinds[1]:-}" light dark || { echo "FAIL: running does not blink light and dark green"; fail=1; }
pair "${kinds[2]:-}" "${kinds[3]:-}" banded-light banded-dark || { echo "FAIL: the alarm does not blink the banded pictures"; fail=1; }
[ "${kinds[4]:-} ${kinds[5]:-}" = "red red" ] || { echo "FAIL: stopped is not red"; fail=1; }
[ $fail -eq 0 ] && echo "the tour shows all three states"
exit $fail

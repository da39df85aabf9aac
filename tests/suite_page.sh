# suite_page.sh SUITE BIN SCREENSHOT
# The HTML page, as a browser and a validator read it: rendered by headless
# Chromium with scripts off, it shows the matrix, a chart of non-empty size
# per program and metric, and each failure's details, loads nothing, and
# makes no element of what a program printed or a folder is called; strict
# HTML5 parsing finds no error.  Two builds run five times, one of them in a
# hostile folder whose pellick prints markup; then one build run once.  The
# first page's screenshot is kept at SCREENSHOT.
set -u
suite=$1 bin=$2 screenshot=$3
here=$(dirname "$0")
. "$here/need.sh"
need chromium html5lib python3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export LC_ALL=C
fail=0
bad() { echo "FAIL $*"; fail=1; }

odd="$tmp/x\"><img src=x onerror=alert(1)><script>alert(2)<"
mkdir "$odd"
for name in $("$suite" --help | sed -n 's/^Programs: //p'); do cp "$bin/$name" "$odd/"; done
printf '#!/bin/sh\necho "<script>alert(3)</script>"\necho "\\"><img src=x onerror=alert(4)>"\n' >"$odd/pellick"
chmod +x "$odd/pellick"
rm "$odd/skerrow"

for page in two one; do
  if [[ $page == two ]]; then
    "$suite" --repeat 5 -j 2 --html "$tmp/$page.html" "$bin" "$odd" >"$tmp/out" 2>"$tmp/err"
  else
    "$suite" --html "$tmp/$page.html" "$bin" >"$tmp/out" 2>"$tmp/err"
  fi
  status=$?
  want=$([[ $page == two ]] && echo 1 || echo 0)
  ((status == want)) && [[ ! -s $tmp/err ]] || bad "$page: exit status $status, stderr $(cat "$tmp/err")"
  "$html5lib_python" -c '
import html5lib, sys
html5lib.HTMLParser(strict=True).parse(open(sys.argv[1], "rb"))' "$tmp/$page.html" 2>"$tmp/err" ||
    bad "$page: strict HTML parsing: $(tail -n 1 "$tmp/err")"
  timeout 120 python3 "$here/page.py" "$tmp/$page.html" "$tmp/$page.png" >"$tmp/$page.json" ||
    { bad "$page: Chromium could not render the page"; continue; }
  python3 "$here/page_check.py" "$page" "$tmp/$page.json" "$tmp/$page.html" "$odd" || fail=1
done
cp "$tmp/two.png" "$screenshot" 2>/dev/null
exit $fail

# needed.sh READELF PROGRAM...
# Each program loads no shared library but libc: nothing pulls in the C++
# runtime, so start-up costs what an empty C program's does.
set -u
readelf=$1
shift
fail=0
for program in "$@"; do
  needed=$("$readelf" -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
  if [[ $needed == 'libc.so.6 ' ]]; then
    echo "ok   $(basename "$program") needs: $needed"
  else
    echo "FAIL $(basename "$program") needs: $needed"
    fail=1
  fi
done
exit $fail

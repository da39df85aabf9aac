# io_symbols.sh NM LIBIO
# The runtime library defines the four routines under their plain names, and
# no other global symbol.
set -u
nm=$1 lib=$2
got=$("$nm" -g --defined-only "$lib" | awk 'NF == 3 { print $2, $3 }' | sort)
want=$(printf 'T %s\n' input neg_idx_except output outputFloat)
if [[ $got != "$want" ]]; then
  printf 'FAIL global symbols of %s:\n%s\nexpected:\n%s\n' "$lib" "$got" "$want"
  exit 1
fi
echo "ok   $(basename "$lib") defines just:" $(awk '{ print $2 }' <<<"$got")

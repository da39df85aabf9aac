# suite_install.sh CMAKE BUILD_DIR
# Installed, suite finds the programs beside itself.
set -u
cmake=$1 build=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$cmake" --install "$build" --prefix "$tmp" >/dev/null || exit 1
"$tmp/bin/suite" >"$tmp/out" 2>&1
status=$?
cat "$tmp/out"
if ((status != 0)) || [[ $(head -n 1 "$tmp/out") != "checking "*" programs in \"$tmp/bin\", "* ]]; then
  echo "FAIL installed suite: status $status"
  exit 1
fi

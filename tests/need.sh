# Sourced by the tests that read suite's reports with other tools.
# need TOOL... : skips the test (status 77, which CTest counts as skipped)
# with the reason when a tool is missing.  The tools "scipy" and "html5lib"
# stand for a python3 with that module, which they set in $scipy_python or
# $html5lib_python.
need() {
  local tool
  for tool in "$@"; do
    case $tool in
      scipy)
        for scipy_python in python3 /usr/bin/python3; do
          "$scipy_python" -c 'import scipy.stats' 2>/dev/null && continue 2
        done
        echo "SKIP needs SciPy for python3 (Debian's python3-scipy)"; exit 77 ;;
      html5lib)
        for html5lib_python in python3 /usr/bin/python3; do
          "$html5lib_python" -c 'import html5lib' 2>/dev/null && continue 2
        done
        echo "SKIP needs html5lib for python3 (Debian's python3-html5lib)"; exit 77 ;;
      chromium) command -v chromium >/dev/null || { echo "SKIP needs chromium (Debian's chromium)"; exit 77; } ;;
      xmllint) command -v xmllint >/dev/null || { echo "SKIP needs xmllint (Debian's libxml2-utils)"; exit 77; } ;;
      cmark-gfm) command -v cmark-gfm >/dev/null || { echo "SKIP needs cmark-gfm (Debian's cmark-gfm)"; exit 77; } ;;
      prove) command -v prove >/dev/null || { echo "SKIP needs Perl's prove (Debian's perl)"; exit 77; } ;;
      *) command -v "$tool" >/dev/null || { echo "SKIP needs $tool"; exit 77; } ;;
    esac
  done
}

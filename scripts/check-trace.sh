#!/usr/bin/env bash
# Fails when tests left or rewrote files in the user's folders, or left files in /tmp.
#   bash scripts/check-trace.sh start <build dir>   notes what is there, empties the tests' tmp
#   bash scripts/check-trace.sh end <build dir>     fails on what is new, or on a tmp not empty
# The tests get folders of their own (tests/CMakeLists.txt); this catches what escapes them.
# On a machine shared with other work, SITEVIGIL_TRACE_IGNORE (an extended regular expression
# of paths) leaves out what others make meanwhile.
set -euo pipefail
step=$1 build=$2
runtime=${XDG_RUNTIME_DIR:-/run/user/$(id -u)}
cache=${CCACHE_DIR:-$HOME/.cache/ccache}
default_cache=$HOME/.cache/ccache
tests_tmp=$build/tests/test-home/tmp
note=$build/trace-before.txt

list() {
    # Builds running meanwhile fill the compiler cache (this run's, or the usual one of other
    # builds); that is not a test's trace.
    # In the user's folders a file rewritten counts too (its time of change is listed).
    { find "$HOME/.config" "$HOME/.local" "$HOME/.cache" "$runtime" \( -path "$cache" -o -path "$default_cache" \) \
           -prune -o -type f -printf '%p\t%T@\n' -o -print 2>/dev/null || true
      find /tmp -mindepth 1 -maxdepth 1 2>/dev/null || true; } |
        grep -Ev "${SITEVIGIL_TRACE_IGNORE:-^\$}" | LC_ALL=C sort || true
}

case $step in
start)
    list >"$note"
    [ ! -d "$tests_tmp" ] || find "$tests_tmp" -mindepth 1 -delete
    ;;
end)
    new=$(list | LC_ALL=C comm -13 "$note" -)
    # What another program made and removed at once was not left by a test.
    [ -z "$new" ] || { sleep 1; new=$(while IFS= read -r f; do [ ! -e "${f%%$'\t'*}" ] || echo "${f%%$'\t'*}"; done <<<"$new"); }
    left=$( [ ! -d "$tests_tmp" ] || find "$tests_tmp" -mindepth 1 -maxdepth 1)
    if [ -n "$new$left" ]; then
        echo "FAILED: tests left files behind:"
        printf '%s\n' "$new" "$left" | sed '/^$/d; s/^/  /'
        exit 1
    fi
    echo "== No test left a file in the user's folders or in /tmp"
    ;;
*)
    echo "usage: $0 start|end <build dir>" >&2
    exit 2
    ;;
esac

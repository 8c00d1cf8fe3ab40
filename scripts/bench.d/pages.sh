#!/bin/bash
# Start-up and a single-entry page, side by side with their references:
# - the static page FindUserMenu against a trivial C program run the same
#   way (same exec, environment and standard input), goal 1.5;
# - FindUser against ldapsearch of the same entry (same base, scope and
#   filter, all attributes), goal 1.1, in a directory of 10 000 users.
# Medians over BENCH_ROUNDS rounds of many runs each.
set -eu
cd "$(dirname "$0")/../.."
. scripts/bench.d/common
WORK=$(mktemp -d "$(pwd)/$BUILD_DIR/bench-pages.XXXXXX")
DIR=""
cleanup() {
    [ -n "$DIR" ] && scripts/directory-sandbox stop "$DIR/directory" >/dev/null 2>&1
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

DIR=$(directory_for 10000)
PORT=$(SANDBOX_MAXSIZE=$DIRECTORY_MAXSIZE scripts/directory-sandbox start "$DIR/directory")
mkdir -p "$WORK/config"
sed "s|^File=.*|File=$WORK/ldapcgi.log|" "$DIR/directory/XOMTA.INI" > "$WORK/config/XOMTA.INI"

# The same request for both: a GET of the menu, nothing on standard input.
REQUEST=(-c -e PATH="$PATH" -e XOMTA_CONFIG_DIR="$WORK/config" -e REQUEST_METHOD=GET
         -e QUERY_STRING=Command=FindUserMenu)
compare "static page (FindUserMenu)" 1.5 "$ROUNDS" 200 \
    "${REQUEST[@]}" -- "$CGI" :: "${REQUEST[@]}" -- "$BUILD_DIR/bench_trivial_page"

USER_DN="mail=user4711@example.com,dc=example,dc=com"
compare "FindUser" 1.1 "$ROUNDS" 50 \
    -c -e XOMTA_CONFIG_DIR="$WORK/config" -e REQUEST_METHOD=GET \
    -e QUERY_STRING="Command=FindUser&Mail=user4711@example.com" -- "$CGI" :: \
    -- ldapsearch -x -LLL -H "ldap://127.0.0.1:$PORT" -D "$ROOT_DN" -w "$ROOT_PW" -b "$USER_DN" -s sub \
    "(objectClass=xoperson)"

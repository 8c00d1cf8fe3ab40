#!/bin/bash
# The user list in headless Chromium, served as a site serves it (lighttpd
# with the shipped snippet, install/lighttpd/ldapcgi.conf.in): the first page
# (PageSize 100) of ListUsers with Mail=* against the whole list
# (PageSize 0), each from the start of the navigation to the end of the load
# event, alternating, medians over BENCH_SIZE_ROUNDS rounds (default 3), in a
# directory of BENCH_BROWSER_USERS users (default 100 000). Both figures are
# reported; no goal.
set -eu
cd "$(dirname "$0")/../.."
. scripts/bench.d/common
COUNT=${BENCH_BROWSER_USERS:-100000}
SIZE_ROUNDS=${BENCH_SIZE_ROUNDS:-3}
PAGE_SIZE=100
LOGIN=bench
WORK=$(mktemp -d "$(pwd)/$BUILD_DIR/bench-browser.XXXXXX")
DIR=""
cleanup() {
    for pid in "$WORK"/*/lighttpd.pid; do [ -r "$pid" ] && kill "$(cat "$pid")" 2>/dev/null; done
    [ -n "$DIR" ] && scripts/directory-sandbox stop "$DIR/directory" >/dev/null 2>&1
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

scripts/install-deps browser
(cd tests/browser && npm ci --no-audit --no-fund --loglevel=error)
DIR=$(directory_for "$COUNT")
SANDBOX_MAXSIZE=$DIRECTORY_MAXSIZE scripts/directory-sandbox start "$DIR/directory" >/dev/null
password=$(openssl rand -hex 12)
printf '%s:%s\n' "$LOGIN" "$(printf '%s\n' "$password" | openssl passwd -6 -stdin)" > "$WORK/htpasswd"

# serve NAME PAGE_SIZE: a web server on a free port whose CGI lists in pages
# of PAGE_SIZE rows (0: the whole list); prints the list's URL.
serve() {
    local run="$WORK/$1" port
    mkdir -p "$run"
    sed "/^\[Ldap\]\$/a PageSize=$2" "$DIR/directory/XOMTA.INI" |
        sed "s|^File=.*|File=$run/ldapcgi.log|" > "$run/XOMTA.INI"
    for port in $(shuf -i 20000-60000 -n 20); do
        sed -e "s|@URL_SCOPE@|^/|" -e "s|@AUTH_PREFIX@|/|" -e "s|@CGI_DIR@|$(pwd)/$BUILD_DIR|" \
            -e "s|@WEB_DIR@|$(pwd)/web|" -e "s|@USERS_FILE@|$WORK/htpasswd|" -e "s|@CONFIG_DIR@|$run|" \
            -e "s|@CSP@|$(cat install/content-security-policy)|" install/lighttpd/ldapcgi.conf.in > "$run/site.conf"
        cat > "$run/lighttpd.conf" <<CONF
server.document-root = "$(pwd)/web"
server.bind = "127.0.0.1"
server.port = $port
server.pid-file = "$run/lighttpd.pid"
server.errorlog = "$run/error.log"
mimetype.assign = ( ".html" => "text/html", ".css" => "text/css", ".gif" => "image/gif", ".png" => "image/png" )
include "$run/site.conf"
CONF
        # lighttpd binds before it detaches: a port in use fails here.
        lighttpd -f "$run/lighttpd.conf" 2>>"$run/error.log" || continue
        echo "http://127.0.0.1:$port/vemo/cgi-bin/ldapcgi.cgi?Command=ListUsers&FirstName=*&LastName=*&Mail=*"
        return 0
    done
    echo "bench: lighttpd did not start (see $run/error.log)" >&2
    return 1
}
paged=$(serve paged "$PAGE_SIZE")
whole=$(serve whole 0)
sleep 2  # the configuration reader re-reads files changed within the last two seconds
echo "-- $COUNT users in Chromium"
# shellcheck disable=SC2046  # two figures, split into $1 and $2
set -- $(node scripts/bench.d/page_load.mjs "$SIZE_ROUNDS" "$LOGIN" "$password" "$paged" "$whole")
shown() { show_time "$(awk -v ms="$1" 'BEGIN { print ms / 1000 }')"; }
record "Chromium, first page of $COUNT" "$(shown "$1")" "none, reported" "- (load $(load_average))"
record "Chromium, whole list of $COUNT" "$(shown "$2")" "none, reported" "- (load $(load_average))"

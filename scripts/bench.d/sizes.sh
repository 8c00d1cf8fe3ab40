#!/bin/bash
# The listings and the alias table build at each size of BENCH_SIZES
# (default "10000 100000 1000000" users), each side by side with ldapsearch
# fetching the same attributes with the same filter from the same server,
# with the default logging (every line, one progress line per alias):
# - ListUsers (every user), goal 1.2; both sides write to /dev/null while
#   timed, and one more run counts the page's rows through a pipe (a page of
#   a million rows is 400 MB: written to a file, its writing back to the
#   disk slowed the runs after it);
# - ListConn (the SMTPC connector, every user), goal 1.2;
# - one page of ListUsers (PageSize 100) at the start, the middle and the
#   end of the list against ldapsearch asking the same server for the same
#   100 entries with the same controls (sorted by sn and firstname, a
#   virtual list view from the page's offset), goal 1.2, peak memory under
#   16 MiB;
# - the alias table build (two aliases per user), goal 1.2, peak memory
#   under 64 MiB, and the table checked complete;
# - lookups of random aliases in the table built, goal under 5 us of CPU
#   time each (the wall time beside it).
# Medians over BENCH_SIZE_ROUNDS rounds (default 3). The directories are
# generated once (slapadd) and kept in the benchmark cache.
set -eu
cd "$(dirname "$0")/../.."
. scripts/bench.d/common
SIZES=${BENCH_SIZES:-10000 100000 1000000}
SIZE_ROUNDS=${BENCH_SIZE_ROUNDS:-3}
PAGE_SIZE=100
PAGE_MEMORY_GOAL_KB=16384
BUILD_MEMORY_GOAL_KB=65536
LOOKUP_GOAL_US=5
WORK=$(mktemp -d "$(pwd)/$BUILD_DIR/bench-sizes.XXXXXX")
DIR=""
cleanup() {
    [ -n "$DIR" ] && scripts/directory-sandbox stop "$DIR/directory" >/dev/null 2>&1
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

LIST_ATTRIBUTES="firstname sn mail telephonenumber"
USERS_FILTER='(&(objectClass=xoperson)(mail=*)(!(objectclass=xolistowner))(!(objectclass=xolistrequest)))'
CONN_FILTER='(&(otherMailbox=SMTPC$*)(objectClass=xoperson))'
ALIAS_FILTER='(&(mail=*)(objectclass=xoperson))'

for count in $SIZES; do
    DIR=$(directory_for "$count")
    PORT=$(SANDBOX_MAXSIZE=$DIRECTORY_MAXSIZE scripts/directory-sandbox start "$DIR/directory")
    work="$WORK/$count"
    mkdir -p "$work/config" "$work/queue"
    { sed "s|^File=.*|File=$work/ldapcgi.log|" "$DIR/directory/XOMTA.INI"
      printf '\n[Gateway]\nQueueDirectory=%s\n' "$work/queue"; } > "$work/config/XOMTA.INI"
    mkdir -p "$work/config-paged"
    sed "/^\[Ldap\]\$/a PageSize=$PAGE_SIZE" "$work/config/XOMTA.INI" > "$work/config-paged/XOMTA.INI"
    printf 'Command=BuildAliasTable' > "$work/build-body"
    # ldapsearch asks for the next window after each one until its input
    # names an invalid one: it then ends after the first.
    printf 'x\n' > "$work/one-window"
    sleep 2  # the configuration reader re-reads files changed within the last two seconds
    search=(-- ldapsearch -x -LLL -o ldif-wrap=no -H "ldap://127.0.0.1:$PORT" -D "$ROOT_DN" -w "$ROOT_PW"
            -b "" -s sub)
    cgi=(-c -e XOMTA_CONFIG_DIR="$work/config")
    echo "-- $count users"
    "$RUN" "${search[@]}" "$ALIAS_FILTER" mail >/dev/null  # warms the server's cache

    list=("${cgi[@]}" -e REQUEST_METHOD=GET -e QUERY_STRING='Command=ListUsers&FirstName=*&LastName=*&Mail=*')
    compare "ListUsers, $count users" 1.2 "$SIZE_ROUNDS" 1 \
        "${list[@]}" -- "$CGI" :: "${search[@]}" "$USERS_FILTER" $LIST_ATTRIBUTES
    rows=$("$RUN" "${list[@]}" -o /dev/stdout -- "$CGI" | grep -cx $'\t\t<tr>' || true)
    [ "$rows" = "$count" ] || echo "   ListUsers printed $rows rows, not $count"

    list=("${cgi[@]}" -e REQUEST_METHOD=GET -e 'QUERY_STRING=Command=ListConn&Channel=SMTPC&Identifier=*')
    compare "ListConn, $count users" 1.2 "$SIZE_ROUNDS" 1 \
        "${list[@]}" -- "$CGI" :: "${search[@]}" "$CONN_FILTER" $LIST_ATTRIBUTES
    rows=$("$RUN" "${list[@]}" -o /dev/stdout -- "$CGI" | grep -cx $'\t\t<tr>' || true)
    [ "$rows" = "$count" ] || echo "   ListConn printed $rows rows, not $count"

    for offset in 1 $((count / 2)) $((count - PAGE_SIZE + 1)); do
        compare "ListUsers page at $offset of $count" 1.2 "$SIZE_ROUNDS" 3 \
            -c -e XOMTA_CONFIG_DIR="$work/config-paged" -e REQUEST_METHOD=GET \
            -e "QUERY_STRING=Command=ListUsers&FirstName=*&LastName=*&Mail=*&Position=$offset" \
            -o "$work/page" -- "$CGI" :: -i "$work/one-window" "${search[@]}" -E '!sss=sn/firstname' \
            -E "!vlv=0/$((PAGE_SIZE - 1))/$offset/0" "$USERS_FILTER" $LIST_ATTRIBUTES \
            2> >(grep -v '^VLV control value "x" invalid' >&2)
        record "page memory, at $offset of $count" "$OURS_KB KiB" "< $PAGE_MEMORY_GOAL_KB KiB" \
            "$([ "$OURS_KB" -lt "$PAGE_MEMORY_GOAL_KB" ] && echo met || echo "NOT met")"
        rows=$(grep -cx $'\t\t<tr>' "$work/page" || true)
        grep -q "<td>Users $offset to $((offset + PAGE_SIZE - 1)) of $count</td>" "$work/page" &&
            [ "$rows" = "$PAGE_SIZE" ] || echo "   the page at $offset printed $rows rows, or not as rows $offset on"
    done

    compare "alias build, $count users" 1.2 "$SIZE_ROUNDS" 1 \
        "${cgi[@]}" -e REQUEST_METHOD=POST -e CONTENT_TYPE=application/x-www-form-urlencoded \
        -e CONTENT_LENGTH=23 -i "$work/build-body" -o "$work/page" -- "$CGI" :: \
        "${search[@]}" "$ALIAS_FILTER" mail
    record "alias build memory, $count users" "$OURS_KB KiB" "< $BUILD_MEMORY_GOAL_KB KiB" \
        "$([ "$OURS_KB" -lt "$BUILD_MEMORY_GOAL_KB" ] && echo met || echo "NOT met")"
    sequence=$(ldapsearch -x -LLL -H "ldap://127.0.0.1:$PORT" -D "$ROOT_DN" -w "$ROOT_PW" \
                 -b cn=AliasSequence,cn=PreProcessor,cn=profiles -s base xoprofilevalue 2>/dev/null |
               sed -n 's/^xoprofilevalue: //p')
    case "$sequence" in
        ''|*[!0-9]*) echo "   the build did not publish its table (sequence \"$sequence\")" ;;
        *)
            # shellcheck disable=SC2046  # five figures, split into $1 to $5
            set -- $(XOMTA_CONFIG_DIR="$work/config" "$BUILD_DIR/alias_lookup" table \
                       "$work/queue/AliasTables" "$sequence" "$count") 0 0 0 0 0
            [ "$1" = $((2 * count)) ] || echo "   the table holds $1 records, not $((2 * count))"
            record "alias lookup, $1 records" "$2 us CPU, $3 us wall ($4 of $5 found)" \
                "< $LOOKUP_GOAL_US us CPU" "$(awk -v t="$2" -v g="$LOOKUP_GOAL_US" -v f="$4" -v n="$5" \
                                            'BEGIN { print (t < g && f == n ? "met" : "NOT met") }')"
            ;;
    esac
    rm -rf "$work/queue/AliasTables" "$work/ldapcgi.log"
    scripts/directory-sandbox stop "$DIR/directory" >/dev/null 2>&1
done

#!/bin/bash
# The export and import of users:
# - the import check of a file of BENCH_TRANSFER_ROWS users (default 100000)
#   with 1 % planted faults (a mail twice in the file, an alias another user
#   holds, a bad address, an unknown channel, in turn): every fault reported,
#   nothing written, peak memory under 64 MiB;
# - the import check of a file as large as the import page takes (32 MiB)
#   of rows with 256 short aliases each: every row to add, peak memory
#   under 128 MiB (the file's own index of its values is what it costs);
# - the file without its faults written into a directory holding only its
#   domain (usertransfer apply, which checks the file once, then writes),
#   beside ldapadd of the same entries over one connection into another such
#   directory: goal 1.25 (at least 0.8 of ldapadd's speed), peak memory
#   under 64 MiB, every user there afterwards;
# - the export (CSV and LDIF) of BENCH_EXPORT_SIZE users (default 1000000,
#   the cached directory of sizes.sh) beside ldapsearch of the same entries
#   and attributes: goal 1.2, memory flat (peak under 16 MiB).
# The write takes BENCH_WRITE_ROUNDS rounds (default 1: at 100 000 users a
# round takes minutes), each into fresh directories, ours and ldapadd in turn;
# the rest medians over BENCH_SIZE_ROUNDS rounds (default 3).
set -eu
cd "$(dirname "$0")/../.."
. scripts/bench.d/common
ROWS=${BENCH_TRANSFER_ROWS:-100000}
EXPORT_SIZE=${BENCH_EXPORT_SIZE:-1000000}
SIZE_ROUNDS=${BENCH_SIZE_ROUNDS:-3}
WRITE_ROUNDS=${BENCH_WRITE_ROUNDS:-1}
IMPORT_MEMORY_GOAL_KB=65536
WIDE_MEMORY_GOAL_KB=131072
WIDE_ROWS=10900  # about 33 MB
REPEATED_ROWS=30000  # about 32 MB
EXPORT_MEMORY_GOAL_KB=16384
TOOL="$BUILD_DIR/usertransfer"
WORK=$(mktemp -d "$(pwd)/$BUILD_DIR/bench-transfer.XXXXXX")
RUNNING=()
cleanup() {
    for dir in "${RUNNING[@]}"; do scripts/directory-sandbox stop "$dir" >/dev/null 2>&1 || true; done
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

# The domain, and one user holding an alias and a connector the faults name.
cat > "$WORK/base.ldif" <<'LDIF'
dn: dc=com
objectClass: domain
dc: com

dn: dc=example,dc=com
objectClass: domain
dc: example

dn: mail=holder@example.com,dc=example,dc=com
objectClass: xoperson
mail: holder@example.com
mail: held.alias@example.com
sn: Holder
cn: Holder
othermailbox: SMTPC$held
LDIF

# users FAULTS FORMAT: the rows (csv) or entries (ldif) of ROWS users; with
# FAULTS, every hundredth row holds one planted fault.
users() {
    awk -v n="$ROWS" -v faults="$1" -v format="$2" 'BEGIN {
        if (format == "csv") printf "mail,first name,last name,telephone,aliases,connectors,permissions\r\n"
        for (i = 0; i < n; i++) {
            mail = "user" i "@example.com"; alias = "alias" i "@example.com"; conn = "SMTPC$user" i
            if (faults && i % 100 == 99) {
                k = int(i / 100) % 4
                if (k == 0) mail = "user" (i - 1) "@example.com"
                if (k == 1) alias = "held.alias@example.com"
                if (k == 2) mail = "bad address" i "@example.com"
                if (k == 3) conn = "NOPE$user" i
            }
            if (format == "csv") {
                printf "%s,First%d,Last%d,'\''+1 555 %07d,%s,%s,SMTPC$Send/Receive\r\n", mail, i % 1000, i, i, alias, conn
            } else {
                printf "dn: mail=%s,dc=example,dc=com\nobjectClass: xoperson\nmail: %s\nmail: %s\n", mail, mail, alias
                printf "cn: First%d Last%d\nfirstname: First%d\nsn: Last%d\ntelephoneNumber: +1 555 %07d\n", i % 1000, i, i % 1000, i, i
                printf "othermailbox: %s\nx-permission: SMTPC$Send/Receive\n\n", conn
            }
        }
    }'
}

# fresh NAME: a started directory holding only base.ldif, indexing othermailbox
# as install/slapd does (the import looks connectors up by value); sets PORT
# and CONFIG.
fresh() {
    local dir="$WORK/$1"
    rm -rf "$dir"
    PORT=$(SANDBOX_INDEX="othermailbox eq" scripts/directory-sandbox start "$dir" "$WORK/base.ldif")
    RUNNING+=("$dir")
    CONFIG="$WORK/$1-config"
    mkdir -p "$CONFIG"
    { sed "s|^File=.*|File=$WORK/$1.log|" "$dir/XOMTA.INI"
      awk '/^;?\[/ { inside = ($0 == "[Channels]") } inside' install/XOMTA.INI; } > "$CONFIG/XOMTA.INI"
}
users_in() { ldapsearch -x -LLL -H "ldap://127.0.0.1:$1" -D "$ROOT_DN" -w "$ROOT_PW" -b "" -s sub \
                 '(objectClass=xoperson)' 1.1 | grep -c '^dn:' || true; }
peak() { awk '/Maximum resident set size/ { print $NF }' "$1"; }
elapsed() { awk '/Elapsed \(wall clock\)/ { n = split($NF, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s }' "$1"; }

echo "-- import of $ROWS users"
users 1 csv > "$WORK/faults.csv"
users 0 csv > "$WORK/clean.csv"
users 0 ldif > "$WORK/clean.ldif"
fresh check
/usr/bin/time -v env XOMTA_CONFIG_DIR="$CONFIG" "$TOOL" check "$WORK/faults.csv" > "$WORK/check.out" 2> "$WORK/check.time" || true
planted=$((ROWS / 100))
reported=$(grep -c '^refused line ' "$WORK/check.out" || true)
missing=0
for i in $(seq 99 100 $((ROWS - 1))); do grep -q "^refused line $((i + 2)) " "$WORK/check.out" || missing=$((missing + 1)); done
record "import check, $ROWS rows, $planted faults" "$(show_time "$(elapsed "$WORK/check.time")"), $reported reported, $missing missed, $(($(users_in "$PORT") - 1)) written, peak $(peak "$WORK/check.time") KiB" \
    "all reported, none written, < $IMPORT_MEMORY_GOAL_KB KiB" \
    "$([ "$missing" = 0 ] && [ "$reported" = "$planted" ] && [ "$(users_in "$PORT")" = 1 ] && [ "$(peak "$WORK/check.time")" -lt "$IMPORT_MEMORY_GOAL_KB" ] && echo met || echo "NOT met") (load $(load_average))"
awk -v n="$WIDE_ROWS" 'BEGIN {
    printf "mail,first name,last name,aliases,connectors,permissions\r\n"
    for (i = 0; i < n; i++) {
        printf "wide%d@example.com,F,L%d,", i, i
        for (j = 0; j < 256; j++) printf "%s%x@e.co", (j ? " " : ""), k++
        printf ",SMTPC$wide%d,SMTPC$Send/Receive\r\n", i
    }
}' > "$WORK/wide.csv"
/usr/bin/time -v env XOMTA_CONFIG_DIR="$CONFIG" "$TOOL" check "$WORK/wide.csv" > "$WORK/wide.out" 2> "$WORK/wide.time" || true
adds=$(awk '/^Rows to add:/ { print $NF }' "$WORK/wide.out")
record "import check, $WIDE_ROWS rows of 256 aliases" "$(show_time "$(elapsed "$WORK/wide.time")"), ${adds:-0} to add, peak $(peak "$WORK/wide.time") KiB" \
    "all to add, < $WIDE_MEMORY_GOAL_KB KiB" \
    "$([ "${adds:-0}" = "$WIDE_ROWS" ] && [ "$(peak "$WORK/wide.time")" -lt "$WIDE_MEMORY_GOAL_KB" ] && echo met || echo "NOT met") (load $(load_average))"
# Rows that all name the same 256 connectors (about 32 MB): the index keeps
# no record for each repeated value.
awk -v n="$REPEATED_ROWS" 'BEGIN {
    printf "mail,connectors\r\n"
    for (j = 0; j < 256; j++) cell = cell (j ? " " : "") sprintf("X%02x", j)
    for (i = 0; i < n; i++) printf "rep%d@example.com,%s\r\n", i, cell
}' > "$WORK/repeated.csv"
/usr/bin/time -v env XOMTA_CONFIG_DIR="$CONFIG" "$TOOL" check "$WORK/repeated.csv" > "$WORK/repeated.out" 2> "$WORK/repeated.time" || true
record "import check, $REPEATED_ROWS rows of the same 256 connectors" "$(show_time "$(elapsed "$WORK/repeated.time")"), peak $(peak "$WORK/repeated.time") KiB" \
    "< $WIDE_MEMORY_GOAL_KB KiB" \
    "$([ "$(peak "$WORK/repeated.time")" -lt "$WIDE_MEMORY_GOAL_KB" ] && echo met || echo "NOT met") (load $(load_average))"
scripts/directory-sandbox stop "$WORK/check" >/dev/null

# Rounds interleaved, each into fresh directories; medians.
ours_times=() ref_times=() ours_kb=0 ref_kb=0
for _ in $(seq "$WRITE_ROUNDS"); do
    fresh ours
    /usr/bin/time -v env XOMTA_CONFIG_DIR="$CONFIG" "$TOOL" apply "$WORK/clean.csv" > "$WORK/apply.out" 2> "$WORK/apply.time" || true
    ours_times+=("$(elapsed "$WORK/apply.time")") ours_users=$(($(users_in "$PORT") - 1))
    ours_kb=$(( $(peak "$WORK/apply.time") > ours_kb ? $(peak "$WORK/apply.time") : ours_kb ))
    scripts/directory-sandbox stop "$WORK/ours" >/dev/null
    fresh reference
    /usr/bin/time -v ldapadd -x -H "ldap://127.0.0.1:$PORT" -D "$ROOT_DN" -w "$ROOT_PW" -f "$WORK/clean.ldif" > /dev/null 2> "$WORK/ldapadd.time"
    ref_times+=("$(elapsed "$WORK/ldapadd.time")")
    ref_kb=$(( $(peak "$WORK/ldapadd.time") > ref_kb ? $(peak "$WORK/ldapadd.time") : ref_kb ))
    scripts/directory-sandbox stop "$WORK/reference" >/dev/null
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ours_s=$(median "${ours_times[@]}") ref_s=$(median "${ref_times[@]}")
ratio=$(awk -v a="$ours_s" -v b="$ref_s" 'BEGIN { printf "%.2f", a / b }')
verdict=$(awk -v r="$ratio" -v k="$ours_kb" -v g="$IMPORT_MEMORY_GOAL_KB" -v u="$ours_users" -v n="$ROWS" \
            'BEGIN { print (r <= 1.25 && k < g && u == n ? "met" : "NOT met") }')
printf '%-34s ours %10s %8d KiB   ldapadd %10s %8d KiB   ratio %5s  goal <= 1.25 %s (load %s), %d users written\n' \
    "import write, $ROWS users" "$(show_time "$ours_s")" "$ours_kb" "$(show_time "$ref_s")" "$ref_kb" "$ratio" "$verdict" "$(load_average)" "$ours_users"
printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "import write, $ROWS users" "$(show_time "$ours_s")" "$ours_kb" \
    "$(show_time "$ref_s")" "$ref_kb" "$ratio" "1.25" "$verdict (load $(load_average))" >> "$RESULTS"

echo "-- export of $EXPORT_SIZE users"
DIR=$(directory_for "$EXPORT_SIZE")
PORT=$(SANDBOX_MAXSIZE=$DIRECTORY_MAXSIZE scripts/directory-sandbox start "$DIR/directory")
RUNNING+=("$DIR/directory")
mkdir -p "$WORK/export-config"
sed "s|^File=.*|File=$WORK/export.log|" "$DIR/directory/XOMTA.INI" > "$WORK/export-config/XOMTA.INI"
printf '\n[Users]\nTransfer=yes\n' >> "$WORK/export-config/XOMTA.INI"
sleep 2  # the configuration reader re-reads files changed within the last two seconds
search=(-- ldapsearch -x -LLL -o ldif-wrap=no -H "ldap://127.0.0.1:$PORT" -D "$ROOT_DN" -w "$ROOT_PW" -b "" -s sub)
USERS_FILTER='(&(objectClass=xoperson)(mail=*)(!(objectclass=xolistowner))(!(objectclass=xolistrequest)))'
"$RUN" "${search[@]}" "$USERS_FILTER" mail >/dev/null  # warms the server's cache
for format in csv ldif; do
    attributes="mail firstname sn telephoneNumber streetaddress othermailbox x-permission"
    [ "$format" = ldif ] && attributes="*"
    compare "export $format, $EXPORT_SIZE users" 1.2 "$SIZE_ROUNDS" 1 \
        -c -e XOMTA_CONFIG_DIR="$WORK/export-config" -e REQUEST_METHOD=GET \
        -e "QUERY_STRING=Command=ExportUsers&Format=$format&FirstName=*&LastName=*&Mail=*" \
        -o "$WORK/export.$format" -- "$CGI" :: "${search[@]}" "$USERS_FILTER" $attributes
    record "export $format memory, $EXPORT_SIZE users" "$OURS_KB KiB" "< $EXPORT_MEMORY_GOAL_KB KiB" \
        "$([ "$OURS_KB" -lt "$EXPORT_MEMORY_GOAL_KB" ] && echo met || echo "NOT met")"
done
rows=$(grep -c $'\r$' "$WORK/export.csv" || true)
[ "$rows" = $((EXPORT_SIZE + 1)) ] || echo "   the CSV export has $rows lines, not $((EXPORT_SIZE + 1))"

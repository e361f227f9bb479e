#!/usr/bin/env bash
# The real executable, started the way a screen starts it: help and its exit
# status, the verbose start-up lines, the full-screen window, the source handed
# to the scene, and silence without -v. Runs under isolate.sh --net --x.
set -u
fail=0
check() { # check <description> <command...>
    local what=$1; shift
    if "$@"; then echo "PASS: $what"; else echo "FAIL: $what"; fail=1; fi
}

tmp=${PLAYER_TEST_TMP:?}
usage='"Usage: player [options]\n\nExample: player -h=[HOST] -port=[PORT] \n\noptions:\n      --help -h : show the help menu\n      --deviceUid -d : set device UID\n      --host -h : set host\n      --port -p : set port\n      --json -j : set json sequence\n      --verbose -v : display debug\n      --startDate : set start date\n      --endDate : set end date\n"'

for args in "--help" "-h" "-v --host=a -h"; do
    # shellcheck disable=SC2086
    out=$(timeout 20 "$PLAYER_EXE" $args 2>&1); status=$?
    check "'$args' exits with status 0" test "$status" -eq 0
    check "'$args' prints the usage text" test "$out" = "$usage"
done

schedule="$tmp/schedule.json"
echo '{"schedule":[]}' > "$schedule"

run_player() { # run_player <log> [-v] <args...>: runs the player until its window is up and start-up is over
    local log=$1; shift
    "$PLAYER_EXE" "$@" >"$log" 2>&1 &
    local pid=$!
    # Generous bounds: on a loaded machine the first start of the web engine is slow.
    for _ in $(seq 1 300); do
        xwininfo -root -tree 2>/dev/null | grep -q '"StackView"' && break
        sleep 0.1
    done
    # With -v the engine's last start-up line marks the end; without it, the
    # window being up is all there is to wait for, plus a moment for stray output.
    if [ "$1" = -v ]; then
        for _ in $(seq 1 100); do
            grep -q 'initConfig - END' "$log" && break
            sleep 0.1
        done
    fi
    sleep 1
    xwininfo -root -tree 2>/dev/null | grep "StackView" >"$log.window"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

run_player "$tmp/verbose.log" -v "--json=$schedule"
check "the window appears" grep -q StackView "$tmp/verbose.log.window"
check "the window fills the 1920x1080 screen" grep -q '1920x1080+0+0' "$tmp/verbose.log.window"
for line in '"FUNCTION - emptyCache - BEGIN"' '"FUNCTION - emptyCache - END"' '"FUNCTION - initConfig - BEGIN"' \
    "\"FUNCTION - initConfig :file://$schedule\"" '"FUNCTION - initConfig - END"'; do
    check "verbose start prints $line" grep -qxF "$line" "$tmp/verbose.log"
done
# The scene reports the arguments of load(): hostPort ":" then ":" and the source.
check "the scene's load receives the file source and hostPort" grep -qF -- "- DEBUG :::file://$schedule" "$tmp/verbose.log"
check "the BEGIN line comes before the source line" \
    test "$(grep -n 'initConfig - BEGIN' "$tmp/verbose.log" | cut -d: -f1)" -lt \
         "$(grep -n 'initConfig :' "$tmp/verbose.log" | cut -d: -f1)"

run_player "$tmp/quiet.log" "--json=$schedule"
check "the window appears without -v too" grep -q StackView "$tmp/quiet.log.window"
check "without -v no engine line is printed" bash -c "! grep -q 'FUNCTION -' '$tmp/quiet.log'"
check "without -v no scene debug line is printed" bash -c "! grep -q 'DEBUG :' '$tmp/quiet.log'"

if [ "$fail" -ne 0 ]; then
    echo "--- verbose log"; cat "$tmp/verbose.log"
    echo "--- quiet log"; cat "$tmp/quiet.log"
fi
exit $fail

# shellcheck shell=sh
# For scripts/test-on-mac: its checks, each a command that succeeds when what it names holds and
# otherwise says what it found instead, and check, which counts and prints them.

passed=0
failed=0

begin() {
    echo "== $1"
}

check() {
    what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "  ok: $what"
    else
        failed=$((failed + 1))
        echo "  FAILED: $what"
    fi
}

# Tries a check for up to ten seconds: the system starts daemons and applications in its own time.
wait_until() {
    tries=0
    until "$@"; do
        tries=$((tries + 1))
        [ "$tries" -lt 50 ] || return 1
        sleep 0.2
    done
}

# The files that take its output are this script's: only Setup itself runs through sudo.
# shellcheck disable=SC2024
run_setup() {
    sudo -- "$setup" "$@" </dev/null >"$work/out" 2>"$work/err"
    status=$?
}

show() {
    sed 's/^/      /' "$@"
}

status_is() {
    [ "$status" -eq "$1" ] && return 0
    echo "    exit status $status, expected $1"
    return 1
}

printed() {
    if [ $# -eq 0 ]; then
        : >"$work/expected"
    else
        printf '%s\n' "$@" >"$work/expected"
    fi
    cmp -s "$work/expected" "$work/out" && return 0
    echo "    printed:"
    show "$work/out"
    echo "    expected:"
    show "$work/expected"
    return 1
}

said_on_error() {
    grep -q -F -x -- "$1" "$work/err" && return 0
    echo "    standard error:"
    show "$work/err"
    return 1
}

# The agent's setup calls, one line each: "uid<TAB>daemon<TAB>--init<TAB>option...".
registrations() {
    grep "$(printf '^[0-9]*\tdaemon\t--init')" "$records/calls"
}

registered() {
    {
        printf '0\tdaemon\t--init'
        for option in "$@"; do
            printf '\t%s' "$option"
        done
        printf '\n'
    } >"$work/expected"
    registrations >"$work/registrations"
    cmp -s "$work/expected" "$work/registrations" && return 0
    echo "    the agent's setup calls:"
    show "$work/registrations"
    echo "    expected:"
    show "$work/expected"
    return 1
}

not_registered() {
    ! registrations >/dev/null
}

configured() {
    [ -f "$database" ]
}

# security prints a password that is not plain ASCII as hexadecimal digits.
key_is() {
    stored_key >"$work/key" || {
        echo "    no item in the keychain"
        return 1
    }
    printf '%s\n' "$1" | cmp -s - "$work/key" && return 0
    hex=$(printf '%s' "$1" | od -An -tx1 | tr -d ' \n')
    [ "$(sed 's/^0x//' "$work/key" | tr 'A-F' 'a-f')" = "$hex" ] && return 0
    echo "    the keychain holds something else ($(wc -c <"$work/key") bytes)"
    return 1
}

no_key() {
    ! stored_key >/dev/null
}

daemons_running() {
    for label in $labels; do
        case "$(daemon_pid "$label")" in
        '' | *[!0-9]*) return 1 ;;
        esac
    done
}

daemons_not_loaded() {
    for label in $labels; do
        [ -z "$(daemon_pid "$label")" ] || return 1
    done
}

daemons_restarted() {
    wait_until daemons_running && [ "$(daemon_pids)" != "$1" ] && return 0
    echo "    daemons before: $1, after: $(daemon_pids)"
    return 1
}

launched() {
    cut -f 3 "$records/launches" | grep -q -F -x -- "$1"
}

app_opened() {
    wait_until launched "$agent_app"
}

app_not_opened() {
    sleep 2
    ! launched "$agent_app"
}

process_ended() {
    ! kill -0 "$1" 2>/dev/null
}

processes_ended() {
    for pid in "$@"; do
        wait_until process_ended "$pid" || return 1
    done
}

file_holds() {
    printf '%s' "$2" | cmp -s - "$1"
}

# Setup's entries in the unified log since the run began; they arrive a moment after it ended.
read_log() {
    wait_until logged_until_end "$1"
}

logged_until_end() {
    log show --start "$1" --predicate 'process == "Setup"' --style syslog >"$work/log" 2>&1 &&
        grep -q "Setup ended with exit status" "$work/log"
}

logged() {
    grep -q -F -- "$1" "$work/log" && return 0
    echo "    not in the log:"
    show "$work/log"
    return 1
}

not_logged() {
    ! grep -q -F -- "$1" "$work/log"
}

# A moment that no earlier run's entries share.
log_start() {
    date '+%Y-%m-%d %H:%M:%S'
    sleep 1
}

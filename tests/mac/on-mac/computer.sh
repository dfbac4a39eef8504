# shellcheck shell=sh
# For scripts/test-on-mac: the computer it runs on (where the agent's files, daemons and keychain
# item are, reading and clearing them) and the stand-in agent it installs there.

app="/Applications/Talvo Backup Agent.app"
agent="$app/Contents/MacOS/TalvoBackupAgent"
agent_app="$app/Contents/MacOS/Talvo Backup Agent"
status_bundle="$app/Contents/MacOS/TalvoBackupAgentStatus.app"
status_app="$status_bundle/Contents/MacOS/TalvoBackupAgentStatus"
marker="$app/Contents/Resources/talvo-test-on-mac"
support="/Library/Application Support/Talvo Backup Agent"
database="$support/config.sqlite"
seed_file="$support/seed.conf"
keychain=/Library/Keychains/System.keychain
account=talvo/backup/customer-encryption-key
service=TalvoBackupAgent
managed="/Library/Managed Preferences"
profile="$managed/com.talvo.backup.agent.plist"
labels="com.talvo.backup.agent com.talvo.backup.agent.updater"

# -- the computer's state ------------------------------------------------------------------------

daemon_plist() {
    printf '/Library/LaunchDaemons/%s.plist' "$1"
}

# The daemon's process id while it runs, "-" while it is loaded but not running, nothing when it is
# not loaded.
daemon_pid() {
    launchctl list | awk -F '\t' -v label="$1" '$3 == label { print $1 }'
}

daemon_pids() {
    for label in $labels; do
        printf '%s ' "$(daemon_pid "$label")"
    done
}

stored_key() {
    security find-generic-password -a "$account" -s "$service" -w "$keychain" 2>/dev/null
}

remove_key() {
    tries=0
    while stored_key >/dev/null && [ "$tries" -lt 5 ]; do
        security delete-generic-password -a "$account" -s "$service" "$keychain" >/dev/null 2>&1
        tries=$((tries + 1))
    done
}

unload_daemons() {
    for label in $labels; do
        if [ -n "$(daemon_pid "$label")" ]; then
            launchctl bootout system "$(daemon_plist "$label")" >/dev/null 2>&1
        fi
    done
}

# Ends the stand-in applications, found in the process table by their program files (those of the
# bundle that this script made), whoever started them.
stop_stand_ins() {
    pids=$(ps -A -o pid= -o command= | while read -r pid command; do
        case "$command" in
        "$agent_app" | "$agent_app "* | "$status_app" | "$status_app "*) echo "$pid" ;;
        esac
    done)
    for pid in $pids; do
        kill "$pid" 2>/dev/null
    done
    for pid in $pids; do
        wait_until process_ended "$pid"
    done
}

clean_up_stand_in() {
    stop_stand_ins
    unload_daemons
    remove_key
    for label in $labels; do
        rm -f "$(daemon_plist "$label")"
    done
    rm -rf "$app" "$support"
    rm -f "$profile"
    if [ "${made_managed:-no}" = yes ]; then
        rmdir "$managed" 2>/dev/null
    fi
}

foreign_state() {
    [ -e "$app" ] && echo "  $app"
    for label in $labels; do
        [ -e "$(daemon_plist "$label")" ] && echo "  $(daemon_plist "$label")"
        [ -n "$(daemon_pid "$label")" ] && echo "  the launch daemon $label is loaded"
    done
    [ -e "$support" ] && echo "  $support"
    for file in "$profile" "$managed"/*/com.talvo.backup.agent.plist; do
        [ -e "$file" ] && echo "  $file"
    done
    stored_key >/dev/null && echo "  the item $account in $keychain"
}

# -- the stand-in agent --------------------------------------------------------------------------

info_plist() {
    cat <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CFBundleIdentifier</key>
	<string>$1</string>
	<key>CFBundleExecutable</key>
	<string>$2</string>
	<key>CFBundleName</key>
	<string>$2</string>
	<key>CFBundlePackageType</key>
	<string>APPL</string>
	<key>LSBackgroundOnly</key>
	<true/>
</dict>
</plist>
EOF
}

# Started at load and never kept alive, so that a daemon that something else ended stays ended.
daemon_job() {
    cat <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Label</key>
	<string>$1</string>
	<key>ProgramArguments</key>
	<array>
		<string>$agent</string>
		<string>$2</string>
	</array>
	<key>RunAtLoad</key>
	<true/>
</dict>
</plist>
EOF
}

install_stand_in() {
    cc -O2 -Wall -DSTAND_IN_RECORDS="\"$records\"" -o "$work/stand-in" "$stand_in_source" ||
        return 1
    # Apple silicon runs the linker's ad-hoc signature; Intel Macs get one too, so that the
    # keychain's trusted-application list meets signed code on both.
    if on_mac; then
        codesign --force --sign - "$work/stand-in" || return 1
    fi
    mkdir -p "$app/Contents/Resources" || return 1
    : >"$marker"
    mkdir -p "$status_bundle/Contents/MacOS" "$support" || return 1
    info_plist com.talvo.backup.app "Talvo Backup Agent" >"$app/Contents/Info.plist"
    info_plist com.talvo.backup.status TalvoBackupAgentStatus >"$status_bundle/Contents/Info.plist"
    for program in "$agent" "$agent_app" "$status_app"; do
        cp "$work/stand-in" "$program" && chmod 755 "$program" || return 1
    done
    daemon_job com.talvo.backup.agent daemon >"$(daemon_plist com.talvo.backup.agent)"
    daemon_job com.talvo.backup.agent.updater updater >"$(daemon_plist com.talvo.backup.agent.updater)"
    # launchd loads only root-owned jobs that no one else may change.
    for label in $labels; do
        chown 0:0 "$(daemon_plist "$label")" && chmod 644 "$(daemon_plist "$label")" || return 1
    done
}

load_daemons() {
    for label in $labels; do
        launchctl bootstrap system "$(daemon_plist "$label")" || return 1
    done
    wait_until daemons_running
}

start_application() {
    sudo -u nobody "$1" </dev/null >/dev/null 2>&1 &
    wait_until launched "$1"
}

reset_state() {
    stop_stand_ins
    unload_daemons
    remove_key
    rm -f "$profile" "$database" "$seed_file" "$records/seed" "$records/agent-init-status"
    : >"$records/calls"
    : >"$records/launches"
}

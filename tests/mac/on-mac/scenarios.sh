# shellcheck shell=sh
# For scripts/test-on-mac: the sandbox world's scenarios that a real Mac can show, each from a
# known state, each ending in its checks. Setup's lines as it prints them:
checking="Checking MDM..."
no_mdm="No MDM found..."
installing_mdm="Installing MDM..."
installing_user="Installing User..."
agent_running="Talvo Backup Agent is already running."
status_running="Talvo Backup Agent Status is already running."
short_key='Error Domain=InputError Code=-1 "Encryption key must be at least 8 characters long."'

token=tok-8d41-credential
passphrase="correct horse battery staple"

words_install() {
    begin "install from words"
    reset_state
    since=$(log_start)
    run_setup "REG_TOKEN=$token" REG_SERVICE=https://backup.example/reg \
        "ENCRYPTION_KEY=$passphrase"
    check "exit status 0" status_is 0
    check "its lines" printed "$checking" "$no_mdm" "$installing_user"
    check "the agent's setup ran as root with the words" registered "-reg-token=$token" \
        -reg-service=https://backup.example/reg
    check "the agent is configured" configured
    check "the keychain item holds the passphrase" key_is "$passphrase"
    check "both daemons run" wait_until daemons_running
    check "the agent application was opened" app_opened
    check "the unified log has Setup's entries" read_log "$since"
    check "the log names the run's start" logged " started by uid 0"
    check "the log names its end" logged "Setup ended with exit status 0 after "
    check "the log holds no passphrase" not_logged "$passphrase"
    check "the log holds no registration token" not_logged "$token"
}

already_configured() {
    begin "already configured"
    stop_stand_ins
    : >"$records/launches"
    before=$(daemon_pids)
    run_setup REG_TOKEN=again ENCRYPTION_KEY=short7c CLEAN_INSTALL=no
    check "exit status 0" status_is 0
    check "its lines" printed "$checking" "$no_mdm"
    check "the agent's setup did not run again" registered "-reg-token=$token" \
        -reg-service=https://backup.example/reg
    check "the keychain item is unchanged" key_is "$passphrase"
    check "the daemons were taken out and put back" daemons_restarted "$before"
    check "the agent application was opened" app_opened
}

clean_install() {
    begin "clean install with a passphrase full of shell syntax"
    stop_stand_ins
    : >"$records/launches"
    : >"$records/calls"
    hostile="q\"uo\$te \`tick\` back\\slash 'single' \$(touch $work/pwned) ;|&*<> \${HOME}"
    run_setup CLEAN_INSTALL=YES REG_TOKEN=second "ENCRYPTION_KEY=$hostile"
    check "exit status 0" status_is 0
    check "its lines" printed "$checking" "$no_mdm" "$installing_user"
    check "the agent's setup ran again, asked to clean up" registered -reg-token=second -clean-up
    check "the keychain item holds exactly the new passphrase" key_is "$hostile"
    check "no shell ran a piece of the passphrase" test ! -e "$work/pwned"
}

profile_install() {
    begin "install from an MDM profile with a seed section"
    reset_state
    if [ ! -d "$managed" ]; then
        mkdir -p "$managed" && made_managed=yes
    fi
    cat >"$profile" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>reg-token</key>
	<string>mdm-token-77</string>
	<key>reg-service</key>
	<string>https://mdm.example/reg</string>
	<key>encryption-key</key>
	<string>mdm pässphrase 42</string>
	<key>seed-config</key>
	<dict>
		<key>server</key>
		<string>https://backup.example</string>
		<key>port</key>
		<integer>8443</integer>
		<key>name</key>
		<string>Büro Mac</string>
	</dict>
</dict>
</plist>
EOF
    chmod 644 "$profile"
    seed="server = https://backup.example
port = 8443
name = Büro Mac"
    run_setup REG_TOKEN=from-words
    check "exit status 0" status_is 0
    check "its lines" printed "$checking" "$installing_mdm"
    check "the agent's setup ran with the profile's settings, not the words" registered \
        -reg-token=mdm-token-77 -reg-service=https://mdm.example/reg "-seed-path=$seed_file"
    check "the seed file holds the seed section" file_holds "$seed_file" "$seed"
    check "the agent read that seed file" file_holds "$records/seed" "$seed"
    check "the keychain item holds the profile's passphrase" key_is "mdm pässphrase 42"
    check "both daemons run" wait_until daemons_running
}

short_key_refused() {
    begin "a short key"
    reset_state
    run_setup REG_TOKEN=t ENCRYPTION_KEY=1234567
    check "exit status 65" status_is 65
    check "its lines" printed "$checking" "$no_mdm" "$installing_user" "$short_key"
    check "the agent's setup did not run" not_registered
    check "no keychain item" no_key
    check "no daemon loaded" daemons_not_loaded
    check "the agent application was opened" app_opened
}

running_applications() {
    begin "running applications stopped, daemons taken out and put back"
    reset_state
    # Another user's processes: Setup reads their program files from the process table.
    check "the daemons run before Setup" load_daemons
    check "the agent application runs before Setup" start_application "$agent_app"
    check "the status application runs before Setup" start_application "$status_app"
    before=$(daemon_pids)
    running=$(cut -f 1 "$records/launches")
    run_setup REG_TOKEN=t
    check "exit status 0" status_is 0
    check "its lines" printed "$agent_running" "$status_running" "$checking" "$no_mdm" \
        "$installing_user"
    # shellcheck disable=SC2086 # process ids, a word each
    check "both applications ended" processes_ended $running
    check "the daemons were taken out and put back" daemons_restarted "$before"
    check "the agent's setup ran" registered -reg-token=t
    check "the agent application was opened" app_opened
}

agent_failure() {
    begin "the agent's setup fails"
    reset_state
    echo 3 >"$records/agent-init-status"
    since=$(log_start)
    run_setup "REG_TOKEN=$token" "ENCRYPTION_KEY=$passphrase"
    check "exit status 3, the agent's" status_is 3
    check "its lines" printed "$checking" "$no_mdm" "$installing_user" \
        'Error Domain=ProcessErrorDomain Code=3 "(null)"'
    check "the agent's setup was tried once" registered "-reg-token=$token"
    check "the agent is not configured" test ! -e "$database"
    check "no keychain item" no_key
    check "no daemon loaded" daemons_not_loaded
    check "the agent application was not opened" app_not_opened
    check "the unified log has Setup's entries" read_log "$since"
    check "the log names the failed command, the token masked" logged \
        "Command failed with exit status 3: sudo \"$agent\" daemon --init -reg-token=********"
    check "the log names its end" logged "Setup ended with exit status 3 after "
    check "the log holds no passphrase" not_logged "$passphrase"
    check "the log holds no registration token" not_logged "$token"
}

root_tool_marker_refused() {
    begin "the root tool's marker given by hand"
    run_setup --talvo-root-tool
    check "exit status 64" status_is 64
    check "nothing on standard output" printed
    check "the refusal on standard error" \
        said_on_error "--talvo-root-tool is only for the system's privileged start"
}

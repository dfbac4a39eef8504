"""The world on its own: its fakes must answer as their real counterparts do, or the installer's
tests prove nothing."""

import os
import unittest

from talvo_world import AGENT_EXECUTABLE, DATABASE, KEYCHAIN, SUPPORT
from worldcase import WorldTestCase

MAIN_DAEMON = "/Library/LaunchDaemons/com.talvo.backup.agent.plist"


class WorldTest(WorldTestCase):
    needs_product = False

    def shell(self, world, script, **options):
        options.setdefault("expect_launch", False)
        return self.run_in(world, ["/bin/bash", "-c", script], **options)

    def test_sandbox_is_macos_shaped_and_leaves_the_host_alone(self):
        world = self.new_world()
        for user, uid, home in (("root", "0", "/var/root"), ("501", "501", "/Users/staff1")):
            with self.subTest(user=user):
                session = self.shell(world, 'id -u; echo "$HOME"; ls /Applications; '
                                     'ls /usr/bin/pkexec; echo $$', user=user)
                self.assertEqual(session.lines[:4],
                                 [uid, home, "Talvo Backup Agent.app", "/usr/bin/pkexec"])
                self.assertLess(int(session.lines[4]), 10, "no process namespace of its own")
        for host_path in ("/Applications/Talvo Backup Agent.app", "/Library/Keychains",
                          "/Library/LaunchDaemons", "/var/world"):
            self.assertFalse(os.path.exists(host_path), host_path)

    def test_sudo_as_root_and_pkexec_answers(self):
        world = self.new_world()
        session = self.shell(world, "hostname; sudo id -u; sudo sh -c 'exit 7'; echo $?")
        self.assertEqual(session.lines, ["staff1s-Mac", "0", "7"])
        self.assertEqual(session.stderr, "", "sudo needs nothing it cannot find (host name...)")

        world.set_pkexec_answers("allow", "dismiss", "deny", "allow")
        session = self.shell(world, """
            for i in 1 2 3 4 5; do
                /usr/bin/pkexec /bin/sh -c 'echo "$(id -u) $HOME $PKEXEC_UID"; sudo id -u; exit 9'
                echo "status $?"
            done
            /usr/bin/pkexec /no/such/program; echo "status $?"
            id -u""", user="501")
        self.assertEqual(session.lines, [
            "0 /var/root 501", "0", "status 9",
            "status 126",
            "status 127",
            "0 /var/root 501", "0", "status 9",
            "0 /var/root 501", "0", "status 9",
            "status 127",
            "501",
        ])
        self.assertIn("Error executing command as another user: Request dismissed", session.stderr)
        self.assertIn("Error executing command as another user: Not authorized", session.stderr)
        answers = [call["answer"] for call in world.calls("pkexec")]
        self.assertEqual(answers, ["allow", "dismiss", "deny", "allow", "allow", None])

    def test_launchctl_keeps_system_jobs_and_their_processes(self):
        world = self.new_world()
        session = self.shell(world, f"""
            launchctl bootstrap system {MAIN_DAEMON}; echo "load $?"
            launchctl bootstrap system {MAIN_DAEMON}; echo "again $?"
            ps -eo args | grep -c '^/bin/sh {AGENT_EXECUTABLE} daemon$'
            launchctl bootout system {MAIN_DAEMON}; echo "unload $?"
            ps -eo args | grep -c '^/bin/sh {AGENT_EXECUTABLE} daemon$'
            launchctl bootout system {MAIN_DAEMON}; echo "again $?"
            launchctl bootstrap system /Library/LaunchDaemons/none.plist; echo "missing $?"
            launchctl bootstrap system {MAIN_DAEMON}; echo "load $?"
        """)
        self.assertEqual(session.lines, ["load 0", "again 5", "1", "unload 0", "0", "again 3",
                                         "missing 2", "load 0"])
        self.assertEqual(session.stderr.splitlines(), [
            "Bootstrap failed: 5: Input/output error",
            "Boot-out failed: 3: No such process",
            "Bootstrap failed: 2: No such file or directory",
        ])
        self.assertEqual(session.loaded_daemons, {"com.talvo.backup.agent"})

        session = self.shell(world, f"launchctl bootstrap system {MAIN_DAEMON}; echo $?",
                             user="501")
        self.assertEqual(session.lines, ["1"], "the system domain is root's")
        self.assertEqual(session.stderr.strip(), "Bootstrap failed: 1: Operation not permitted")
        self.assertEqual(session.loaded_daemons, set(), "every session starts as after boot")

    def test_security_stores_secrets_byte_exact_and_answers_like_the_real_tool(self):
        world = self.new_world()
        secret = "a\"b$c`d\\e'f $(id) ;|&<>*?~!#%{}[] ü\n"
        item = ["-a", "acct", "-s", "svc", KEYCHAIN]
        script = f"""
            security find-generic-password {' '.join(item)}; echo "find $?"
            security add-generic-password -a acct -s svc -l label -w "$SECRET" -T /x/App {KEYCHAIN}
            echo "add $?"
            security add-generic-password -a acct -s svc -w other {KEYCHAIN}; echo "add $?"
            security find-generic-password {' '.join(item)} | grep -E '"(acct|svce)"'
            security find-generic-password -w {' '.join(item)} >/dev/null; echo "find $?"
        """
        session = self.shell(world, f"SECRET=$(printf '%s' {shell_quote(secret)}); {script}")
        self.assertEqual(session.lines, [
            "find 44", "add 0", "add 45",
            '    "acct"<blob>="acct"', '    "svce"<blob>="svc"', "find 0",
        ])
        self.assertEqual(session.stderr.splitlines(), [
            "security: SecKeychainSearchCopyNext: The specified item could not be found in the "
            "keychain.",
            f"security: SecKeychainItemCreateFromContent ({KEYCHAIN}): The specified item "
            "already exists in the keychain.",
        ])
        # $(...) drops the final line feed; everything else arrives as typed.
        self.assertEqual(world.keychain_items(), [{
            **world.keychain_items()[0], "secret": secret.rstrip("\n").encode(),
            "trustedApplications": ["/x/App"], "account": "acct", "service": "svc",
            "label": "label"}])

        session = self.shell(world, f"""
            security delete-generic-password {' '.join(item)}; echo "delete $?"
            security add-generic-password -a acct -s svc -w x {KEYCHAIN}; echo "add $?"
        """, user="501")
        self.assertEqual(session.lines, ["delete 195", "add 195"], "the System keychain is root's")
        session = self.shell(world, f"""
            security delete-generic-password {' '.join(item)} | tail -1; echo "delete $?"
            security delete-generic-password {' '.join(item)}; echo "delete $?"
        """)
        self.assertEqual(session.lines, ["password has been deleted.", "delete 0", "delete 44"])
        self.assertEqual(world.keychain_items(), [])

    def test_killall_and_ps_find_the_applications_by_their_names(self):
        session = self.shell(self.new_world(), """
            ps aux | grep -v grep | grep -c TalvoBackupAgent
            killall "Talvo Backup Agent"; echo "agent $?"
            killall TalvoBackupAgentStatus; echo "status $?"
            # killall only signals: give the agent a moment to end before looking again.
            for i in $(seq 50); do pgrep -x "Talvo Backup Ag" >/dev/null || break; sleep 0.1; done
            killall "Talvo Backup Agent"; echo "again $?"
        """, applications=["agent", "status"])
        self.assertEqual(session.lines, ["1", "agent 0", "status 0", "again 1"])
        self.assertFalse(session.still_running("agent") or session.still_running("status"))

    def test_agent_registers_only_as_root_and_with_the_status_it_is_given(self):
        world = self.new_world()
        seed = f"{SUPPORT}/seed.conf"
        world.write(seed, "a = x")
        command = f'sudo "{AGENT_EXECUTABLE}" daemon --init -reg-token=t "-seed-path={seed}"'
        for status in (3, 0):
            world.set_agent_init_status(status)
            session = self.shell(world, f"{command} >/dev/null; echo $?")
            self.assertEqual((session.lines, world.exists(DATABASE)), ([str(status)], not status))
        calls = world.agent_calls()
        self.assertEqual([call.argv for call in calls],
                         [["daemon", "--init", "-reg-token=t", f"-seed-path={seed}"]] * 2)
        self.assertEqual(calls[-1].seed, b"a = x")

        session = self.shell(world, f'"{AGENT_EXECUTABLE}" daemon --init; echo $?', user="501")
        self.assertEqual(session.lines, ["77"])


def shell_quote(text):
    return "'" + text.replace("'", "'\\''") + "'"


if __name__ == "__main__":
    unittest.main()

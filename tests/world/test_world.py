"""The world on its own, where no Setup session shows it: the sandbox is shaped like a Mac and
leaves the host alone, and launchctl keeps its jobs as the real one does and lets only root change
them (the Setup sessions check the users of the agent's setup and of security, not of launchctl)."""

import os
import unittest

from talvo_world import AGENT_EXECUTABLE
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


if __name__ == "__main__":
    unittest.main()

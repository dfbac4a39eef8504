"""The world on its own, where no Setup session shows it: the sandbox has processes of its own and
leaves the host alone, and launchctl keeps its jobs as the real one does and lets only root change
them (the Setup sessions check the users of the agent's setup and of security, not of launchctl)."""

import os

from talvo_world import AGENT_EXECUTABLE
from worldcase import WorldTestCase

MAIN_DAEMON = "/Library/LaunchDaemons/com.talvo.backup.agent.plist"


class WorldTest(WorldTestCase):
    needs_product = False

    def shell(self, world, script, **options):
        return self.run_in(world, ["/bin/bash", "-c", script], expect_launch=False, **options)

    def test_sandbox_has_processes_of_its_own_and_leaves_the_host_alone(self):
        # Its Mac shape (users, homes, bundles, pkexec) the Setup sessions show.
        session = self.shell(self.new_world(), "echo $$")
        self.assertLess(int(session.lines[0]), 10, "no process namespace of its own")
        for host_path in ("/Applications/Talvo Backup Agent.app", "/Library/Keychains",
                          "/Library/LaunchDaemons", "/var/world"):
            self.assertFalse(os.path.exists(host_path), host_path)

    def test_launchctl_keeps_system_jobs_and_their_processes_for_root_alone(self):
        # Only what Setup meets: a second load fails with 5 (as when no agent process was found
        # to take the daemons down first), and the daemon's process comes and goes with its job.
        world = self.new_world()
        count = f"ps -eo args | grep -c '^/bin/sh {AGENT_EXECUTABLE} daemon$'"
        session = self.shell(world, f"""
            launchctl bootstrap system {MAIN_DAEMON}; echo "load $?"
            launchctl bootstrap system {MAIN_DAEMON}; echo "again $?"
            {count}
            launchctl bootout system {MAIN_DAEMON}; echo "unload $?"
            {count}
            launchctl bootstrap system {MAIN_DAEMON}; echo "load $?"
        """)
        self.assertEqual(session.lines, ["load 0", "again 5", "1", "unload 0", "0", "load 0"])
        self.assertEqual(session.loaded_daemons, {"com.talvo.backup.agent"})

        session = self.shell(world, f"launchctl bootstrap system {MAIN_DAEMON}; echo $?",
                             user="501")
        self.assertEqual(session.lines, ["1"], "the system domain is root's")
        self.assertEqual(session.loaded_daemons, set(), "every session starts as after boot")

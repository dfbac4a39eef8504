"""The world on its own, where no Setup session shows it: the sandbox has processes of its own and
leaves the host alone, and launchctl's system domain is root's (the Setup sessions check the users
of the agent's setup and of security, and launchctl's statuses, not who may load a daemon)."""

import os

from worldcase import WorldTestCase

MAIN_DAEMON = "/Library/LaunchDaemons/com.talvo.backup.agent.plist"


class WorldTest(WorldTestCase):
    needs_product = False

    def test_sandbox_is_apart_from_the_host_and_only_root_loads_a_daemon(self):
        for user, status, loaded in [("root", "0", {"com.talvo.backup.agent"}),
                                     ("501", "1", set())]:
            with self.subTest(user=user):
                session = self.run_in(self.new_world(), [
                    "/bin/sh", "-c", f"echo $$; launchctl bootstrap system {MAIN_DAEMON}; echo $?"],
                    user=user, expect_launch=False)
                self.assertLess(int(session.lines[0]), 10, "no process namespace of its own")
                self.assertEqual((session.lines[1:], session.loaded_daemons), ([status], loaded))
        for host_path in ("/Applications/Talvo Backup Agent.app", "/Library/Keychains",
                          "/Library/LaunchDaemons", "/var/world"):
            self.assertFalse(os.path.exists(host_path), host_path)

"""The real Setup refuses the root tool's marker unless the system starts it as the tool; and root's
commands, run by Setup as root or through a normal user's privileged shell, see nothing of their
caller's."""

import stat
import unittest

from talvo_world import DATABASE, SUPPORT
from worldcase import PRODUCT, SETUP, SetupTestCase

MARKER = "--talvo-root-tool"
REFUSAL = f"{MARKER} is only for the system's privileged start\n"


class RootToolTest(SetupTestCase):
    def test_any_other_start_with_the_marker_is_refused_before_anything_happens(self):
        starts = {
            "root": ("root", [SETUP, MARKER, "/bin/sh", "-c", "id"]),
            "a user": ("501", [SETUP, MARKER]),
        }
        for name, (user, command) in starts.items():
            with self.subTest(name):
                world = self.new_world()
                world.configure_agent()
                session = self.run_in(world, command, user=user, product=PRODUCT,
                                      applications=["agent"], expect_launch=False)
                self.assertEqual((session.status, session.stdout, session.stderr),
                                 (64, "", REFUSAL))
                self.assertTrue(session.still_running("agent"))
                self.assertEqual(world.calls(), [])


class RootCommandsTest(SetupTestCase):
    def test_a_callers_path_functions_umask_and_folder_do_not_reach_roots_commands(self):
        # Root's commands give root's files the system's usual modes on both paths (a normal
        # user's through pkexec), and Setup as root runs none of its caller's programs.
        hostile = (
            "mkdir -p /tmp/evil && for name in security launchctl killall ps grep; do "
            "printf '#!/bin/sh\\ntouch /tmp/evil/ran-%s\\n' $name >/tmp/evil/$name; "
            "chmod +x /tmp/evil/$name; done; umask 000; cd /tmp/evil; "
            "env PATH=/tmp/evil:$PATH 'BASH_FUNC_security%%=() { touch /tmp/evil/ran-function; }' "
            f"{SETUP} REG_TOKEN=t 'ENCRYPTION_KEY=correct horse'; status=$?; "
            "echo ran: $(cd /tmp/evil && ls ran-* 2>/dev/null); exit $status")
        for user in ("root", "501"):
            with self.subTest(user=user):
                world = self.new_world()
                world.remove(SUPPORT)
                session = self.run_in(world, ["/bin/sh", "-c", hostile], user=user,
                                      product=PRODUCT)
                self.assertEqual(session.status, 0, session.stdout)
                if user == "root":  # a normal user's own commands are theirs to choose
                    self.assertEqual(session.lines[-1], "ran:")
                self.assert_registered(world, "-reg-token=t")
                self.assert_key(world, "correct horse")
                self.assert_daemons_started(world, session)
                modes = [stat.S_IMODE(world.host_path(path).stat().st_mode)
                         for path in (SUPPORT, DATABASE)]
                self.assertEqual(modes, [0o755, 0o644])


if __name__ == "__main__":
    unittest.main()

"""The real Setup in worlds that push back: the agent's daemon running from inside the agent's
bundle, a local user's many programs each from a bundle of its own with a large Info.plist, a
command whose output outgrows the memory Setup may use, seed temporaries left by earlier runs that
were killed, and a start with SIGCHLD ignored."""

import ctypes
import os
import shutil
import struct
import time
import unittest

from talvo_world import AGENT_EXECUTABLE, SEED_FILE, SUPPORT
from test_setup_e2e import (AGENT_APP_EXECUTABLE, AGENT_RUNNING, CHECKING, DAEMON_PLISTS,
                            INSTALLING_MDM, INSTALLING_USER, NO_MDM, SetupTestCase)
from worldcase import APP_STUB, PRODUCT

SANITIZED = os.environ.get("TALVO_SANITIZED") == "1"
OUT_OF_MEMORY = 'Error Domain=InternalError Code=71 "Out of memory"'


class DaemonInsideTheBundleTest(SetupTestCase):
    """On a configured Mac the agent's daemon always runs, from the agent bundle's Contents/MacOS
    but not as the bundle's own executable. Here it is a real process under that path, so that
    the running-applications scan meets it as it would on the Mac."""

    def new_world_with_daemon_process(self):
        world = self.new_world()
        shutil.copyfile(APP_STUB, world.host_path(AGENT_EXECUTABLE))
        os.chmod(world.host_path(AGENT_EXECUTABLE), 0o755)
        world.configure_agent()
        return world

    def assert_daemons_restarted(self, world, session):
        self.assertEqual(self.launchctl(world),
                         [*(("bootout", p, 0) for p in DAEMON_PLISTS),
                          *(("bootstrap", p, 0) for p in DAEMON_PLISTS)])
        self.assertIn(AGENT_APP_EXECUTABLE, session.launched_executables())

    def test_the_daemon_is_not_taken_for_the_agent_application(self):
        world = self.new_world_with_daemon_process()
        session = self.setup(world, daemons=True)
        self.assertEqual(session.lines, [CHECKING, NO_MDM])
        self.assertEqual(session.status, 0)
        self.assert_daemons_restarted(world, session)

    def test_the_agent_application_beside_the_daemon_is_still_stopped(self):
        world = self.new_world_with_daemon_process()
        session = self.setup(world, daemons=True, applications=["agent"])
        self.assertEqual(session.lines, [AGENT_RUNNING, CHECKING, NO_MDM])
        self.assertEqual(session.status, 0)
        self.assertFalse(session.still_running("agent"))
        self.assert_daemons_restarted(world, session)


class OpenCounter:
    """Counts the opens of a file, by whoever opens it, through inotify. Closes are watched too,
    since inotify merges an event into an identical one still unread."""

    IN_OPEN, IN_CLOSE = 0x20, 0x18

    def __init__(self, path):
        libc = ctypes.CDLL(None, use_errno=True)
        self.fd = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self.fd < 0 or libc.inotify_add_watch(self.fd, os.fsencode(path),
                                                 self.IN_OPEN | self.IN_CLOSE) < 0:
            raise OSError(ctypes.get_errno(), f"cannot watch {path}")

    def opens(self):
        count = 0
        try:
            while events := os.read(self.fd, 65536):
                offset = 0
                while offset < len(events):
                    _, mask, _, length = struct.unpack_from("iIII", events, offset)
                    count += bool(mask & self.IN_OPEN)
                    offset += 16 + length
        except BlockingIOError:
            pass
        finally:
            os.close(self.fd)
        return count


class ManyBundlesTest(SetupTestCase):
    # The sanitizer build reads a property list about a hundred times slower.
    BUNDLES = 30 if SANITIZED else 300
    FOLDER = "/Applications/Downloaded"

    def test_each_bundle_of_a_users_programs_is_read_once(self):
        # Many programs of a local user, each from a bundle of its own whose Info.plist (one file,
        # linked into every bundle) holds just under the 256 KiB that Setup reads of one. No agent
        # application runs, so Setup looks at every one of them, for both of the agent's
        # applications at once. The folder stands where the test can watch the file from outside
        # the world.
        world = self.new_world()
        folder = world.host_path(self.FOLDER)
        padding = "<string>padding</string>" * 10500
        world.write(f"{self.FOLDER}/Info.plist",
                    "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>org.example"
                    "</string><key>CFBundleExecutable</key><string>B</string><key>Padding</key>"
                    f"<array>{padding}</array></dict></plist>")
        shutil.copy(APP_STUB, folder / "B")
        for number in range(self.BUNDLES):
            executables = folder / f"B{number}.app/Contents/MacOS"
            executables.mkdir(parents=True)
            os.link(folder / "Info.plist", executables.parent / "Info.plist")
            os.link(folder / "B", executables / "B")
        counter = OpenCounter(folder / "Info.plist")
        session = self.run_in(world, ["/bin/sh", "-c", f"""
            setpriv --reuid=501 --regid=20 --clear-groups /bin/sh -c '
                for bundle in {self.FOLDER}/B*.app; do
                    "$bundle/Contents/MacOS/B" </dev/null >/dev/null 2>&1 &
                done'
            until [ "$(pgrep -cx B)" -eq {self.BUNDLES} ]; do sleep 0.05; done
            exec /usr/local/bin/Setup
        """], product=PRODUCT, timeout=120)
        self.assertEqual(session.lines, [CHECKING, NO_MDM])
        self.assertEqual(session.status, 0)
        self.assertEqual(counter.opens(), self.BUNDLES)


class OutputBeyondMemoryTest(SetupTestCase):
    @unittest.skipIf(SANITIZED, "AddressSanitizer reserves more address space at start than "
                                "any limit that still lets a command's output exhaust it")
    def test_running_out_of_memory_ends_in_one_line_and_its_own_status(self):
        world = self.new_world()
        # The agent's setup prints a gigabyte; Setup may use a quarter of that.
        world.write(AGENT_EXECUTABLE, "#!/bin/sh\nexec head -c 1073741824 /dev/zero\n")
        os.chmod(world.host_path(AGENT_EXECUTABLE), 0o755)
        session = self.run_in(world, ["/bin/sh", "-c", """
            ulimit -v 262144
            exec /usr/local/bin/Setup REG_TOKEN=t
        """], product=PRODUCT, expect_launch=False, timeout=60)
        self.assertFalse(session.timed_out)
        self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER, OUT_OF_MEMORY])
        self.assertEqual(session.status, 71)
        self.assertEqual(session.stderr, "")
        # The command was stopped and reaped, not left printing into a pipe nobody reads.
        self.assertNotIn("head -c", session.processes)
        self.assertNotIn("<defunct>", session.processes)
        self.assertEqual(self.launchctl(world), [])
        self.assert_app_not_opened(session)


class IgnoredChildSignalTest(SetupTestCase):
    def test_an_install_started_with_child_signals_ignored_reads_as_it_went(self):
        # Whatever starts Setup may ignore SIGCHLD (daemons often do), and an ignored SIGCHLD
        # stays ignored across exec: the system would reap every command and take its status.
        world = self.new_world()
        session = self.run_in(world, ["/usr/bin/python3", "-c", """if True:
            import os, signal
            signal.signal(signal.SIGCHLD, signal.SIG_IGN)
            os.execv("/usr/local/bin/Setup",
                     ["Setup", "REG_TOKEN=t", "ENCRYPTION_KEY=long enough key"])
        """], product=PRODUCT)
        self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER])
        self.assertEqual(session.status, 0)
        self.assert_registered(world, "-reg-token=t")
        self.assert_key(world, "long enough key")
        self.assert_daemons_started(world, session)
        self.assert_app_opened(session)


class StaleSeedTemporaryTest(SetupTestCase):
    def test_temporaries_of_killed_runs_are_removed_and_others_kept(self):
        world = self.new_world()
        world.set_profile({"reg-token": "t", "seed-config": {"a": "x"}})
        support = world.host_path(SUPPORT)
        abandoned = support / ".seed.conf.k1LLed"
        young = support / ".seed.conf.Wr1t1n"
        others = [support / "seed.conf.k1LLed", support / ".seed.conf.k1LLed.bak"]
        for path in [abandoned, young, *others]:
            path.write_bytes(b"a = half")
        an_hour_ago = time.time() - 3600
        for path in [abandoned, *others]:
            os.utime(path, (an_hour_ago, an_hour_ago))
        session = self.setup(world)
        self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
        self.assertEqual(world.read(SEED_FILE), b"a = x")
        self.assertFalse(abandoned.exists())
        for path in [young, *others]:
            self.assertTrue(path.exists(), path)


if __name__ == "__main__":
    unittest.main()

"""scripts/test-on-mac run as it stands inside the sandbox world, where the Linux Setup and the
world's fakes of launchctl, security and log stand in for the Mac's: its scenarios pass, a failing
Setup is reported, an installed agent is left alone, and the computer is clean afterwards, also
after an interruption or a killed run. The Mac's own tools are what only the workflow can show."""

import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPOSITORY = HERE.parent.parent
RUN_IN_WORLD = REPOSITORY / "tests" / "world" / "run-in-world"
SETUP = os.environ.get("TALVO_SETUP")
WORLDS = Path(os.environ.get("TALVO_WORLDS", "/tmp/talvo-worlds"))
PATH = "/var/world/mac-fakes:/opt/world/bin:/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
APP = "Applications/Talvo Backup Agent.app"
KEYCHAIN = "Library/Keychains/System.keychain"
# The Mac's /bin/sh is bash in its POSIX mode; dash holds the script to POSIX alone.
MAC_SHELL = ("bash", "--posix")
STRICT_SHELL = ("dash",)


class SystemLogRecorder:
    """Receives what syslog(3) sends to the world's /dev/log and appends it, with the time it
    arrived, to the file the world's log reads. The socket lives in a short folder of its own:
    a world's path can be longer than a socket's path may be."""

    def __init__(self, world):
        self.folder = Path(tempfile.mkdtemp(prefix="talvo-log-"))
        self.folder.chmod(0o755)
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.socket.bind(str(self.folder / "log"))
        (self.folder / "log").chmod(0o666)
        self.socket.settimeout(0.2)
        (world / "syslog.sock").unlink(missing_ok=True)
        os.symlink(self.folder / "log", world / "syslog.sock")
        self.record = world / "world" / "log" / "system-log.jsonl"
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._receive, daemon=True)
        self.thread.start()

    def _receive(self):
        while not self.stopping.is_set():
            try:
                datagram = self.socket.recv(65536).decode("utf-8", "surrogateescape")
            except socket.timeout:
                continue
            with open(self.record, "a", encoding="utf-8", errors="surrogateescape") as f:
                f.write(json.dumps({"time": time.time(), "datagram": datagram}) + "\n")

    def stop(self):
        self.stopping.set()
        self.thread.join()
        self.socket.close()
        shutil.rmtree(self.folder)


class TestOnMacDryRun(unittest.TestCase):
    def setUp(self):
        self.assertTrue(shutil.which("bwrap"), "bubblewrap (bwrap) is missing")
        self.assertEqual(os.geteuid(), 0, "the world needs root on the host")
        self.assertTrue(SETUP and Path(SETUP).is_file(), "TALVO_SETUP must name the built Setup")

    def new_world(self, name):
        """A computer without the agent: the folders a Mac has, an empty System keychain, and
        the script with its parts and the fake log where the sandbox sees them."""
        world = WORLDS / f"test-on-mac.{name}"
        if world.exists():
            shutil.rmtree(world)
        # A path of the world's own, so that its script is told apart from other worlds' ones.
        repository = f"repository-{name}"
        for folder in ("Applications", "Library/LaunchDaemons", "Library/Keychains",
                       "Library/Application Support", "world/log", "world/control",
                       "world/mac-fakes", f"world/{repository}/scripts"):
            (world / folder).mkdir(parents=True)
        (world / KEYCHAIN).write_text('{"items": []}\n')
        shutil.copy(REPOSITORY / "scripts" / "test-on-mac", world / f"world/{repository}/scripts")
        shutil.copytree(HERE / "on-mac", world / f"world/{repository}/tests/mac/on-mac")
        shutil.copy(HERE / "fakes" / "log", world / "world/mac-fakes")
        self.script = f"/var/world/{repository}/scripts/test-on-mac"
        return world

    def start(self, world, product=SETUP, shell=MAC_SHELL):
        recorder = SystemLogRecorder(world)
        self.addCleanup(recorder.stop)
        return subprocess.Popen(
            [str(RUN_IN_WORLD), "--world", str(world), "--product", str(product), "--",
             "env", f"PATH={PATH}", *shell, self.script, "/usr/local/bin/Setup"],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            text=True)

    def run_script(self, world, **options):
        process = self.start(world, **options)
        output, _ = process.communicate(timeout=300)
        return process.returncode, output

    def assert_clean(self, world):
        self.assertEqual(list((world / "Applications").iterdir()), [])
        self.assertEqual(list((world / "Library/LaunchDaemons").iterdir()), [])
        self.assertEqual(sorted(p.name for p in (world / "Library").iterdir()),
                         ["Application Support", "Keychains", "LaunchDaemons"])
        self.assertEqual(list((world / "Library/Application Support").iterdir()), [])
        self.assertEqual(json.loads((world / KEYCHAIN).read_text())["items"], [])
        self.assertEqual(list((world / "world/launchd").iterdir()), [])

    def test_failures_are_reported_and_the_computer_still_cleaned_up(self):
        world = self.new_world("failing")
        # The real Setup, but ending with another status: every exit-status check fails.
        shutil.copy(SETUP, world / "world" / "real-Setup")
        product = world / "failing-setup"
        product.write_text('#!/bin/sh\n/var/world/real-Setup "$@"\nexit 70\n')
        product.chmod(0o755)
        status, output = self.run_script(world, product=product, shell=STRICT_SHELL)
        self.assertEqual(status, 1, output)
        self.assertEqual(output.count("  FAILED: exit status"), 8, output)
        self.assertEqual(output.count("  FAILED:"), 8, output)
        self.assertRegex(output.splitlines()[-1], r"^[1-9]\d* passed, 8 failed$")
        self.assert_clean(world)

    def test_an_installed_agent_is_left_alone(self):
        world = self.new_world("installed")
        info = world / APP / "Contents" / "Info.plist"
        info.parent.mkdir(parents=True)
        info.write_text("the real agent")
        keychain = (world / KEYCHAIN).read_text()
        status, output = self.run_script(world)
        self.assertEqual(status, 2, output)
        self.assertIn("nothing was changed", output)
        self.assertEqual(info.read_text(), "the real agent")
        self.assertEqual((world / KEYCHAIN).read_text(), keychain)
        calls = [json.loads(line)["argv"][0]
                 for line in (world / "world/log/calls.jsonl").read_text().splitlines()]
        self.assertLessEqual(set(calls), {"list", "find-generic-password"}, "only looked")

    def test_a_killed_runs_leftovers_go_first_and_every_scenario_passes(self):
        world = self.new_world("killed")
        self.interrupt_once_installed(world, signal.SIGKILL)
        self.assertTrue((world / APP).exists(), "a killed run leaves its stand-in")
        status, output = self.run_script(world)
        self.assertEqual(status, 0, output)
        self.assertIn("removing what an interrupted earlier run left behind", output)
        self.assertNotIn("FAILED", output)
        self.assertRegex(output.splitlines()[-1], r"^[1-9]\d* passed, 0 failed$")
        self.assert_clean(world)

    def test_an_interrupted_run_cleans_up(self):
        world = self.new_world("interrupted")
        status, output = self.interrupt_once_installed(world, signal.SIGTERM)
        self.assertEqual(status, 143, output)
        self.assert_clean(world)

    def interrupt_once_installed(self, world, sent):
        process = self.start(world)
        self.addCleanup(process.kill)
        os.kill(self.script_process_once_installed(world), sent)
        output, _ = process.communicate(timeout=60)
        return process.returncode, output

    def script_process_once_installed(self, world):
        """The host's process id of the script, once it has installed the stand-in agent and
        stored a keychain item: the shell running the script whose parent does not (the others
        are its subshells)."""
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if (world / APP).exists() and json.loads((world / KEYCHAIN).read_text())["items"]:
                running = self.processes_running_the_script()
                for pid, parent in running.items():
                    if parent not in running:
                        return pid
            time.sleep(0.05)
        self.fail("the script did not install its stand-in")

    def processes_running_the_script(self):
        running = {}
        for entry in Path("/proc").iterdir():
            try:
                words = (entry / "cmdline").read_bytes().split(b"\0")
                status = (entry / "status").read_text()
            except OSError:
                continue
            # The sandbox's own command line names the script too.
            if words[0] in (b"bash", b"dash") and self.script.encode() in words:
                running[int(entry.name)] = int(status.split("PPid:")[1].split()[0])
        return running


if __name__ == "__main__":
    unittest.main()

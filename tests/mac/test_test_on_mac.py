"""scripts/test-on-mac run as it stands in the sandbox world, the Linux Setup and the world's
fakes of launchctl, security and log standing in for the Mac's (only the workflow has those)."""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import unittest
from pathlib import Path
from types import SimpleNamespace

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "world"))
from talvo_world import RUN_IN_WORLD, SystemLogRecorder  # noqa: E402

SETUP = os.environ.get("TALVO_SETUP")
WORLDS = Path(os.environ.get("TALVO_WORLDS", "/tmp/talvo-worlds"))
PATH = "/var/world/mac-fakes:/opt/world/bin:/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
APP = "Applications/Talvo Backup Agent.app"
KEYCHAIN = "Library/Keychains/System.keychain"


class LogRecord(list):
    """Takes the system log's datagrams in place of a recorder's list: each goes, with the time it
    arrived, to the file that the world's log (fakes/log) reads."""

    def __init__(self, path):
        super().__init__()
        self.path = path

    def append(self, datagram):
        with open(self.path, "a", encoding="utf-8", errors="surrogateescape") as f:
            f.write(json.dumps({"time": time.time(), "datagram": datagram}) + "\n")


class TestOnMacDryRun(unittest.TestCase):
    def new_world(self, name):
        """A computer without the agent: the folders a Mac has, an empty System keychain, and
        the script with its parts at a path of this world's own, and the fake log."""
        world = WORLDS / f"test-on-mac.{name}"
        shutil.rmtree(world, ignore_errors=True)
        for folder in ("Applications", "Library/LaunchDaemons", "Library/Keychains",
                       "Library/Application Support", "world/mac-fakes", f"world/{name}/scripts"):
            (world / folder).mkdir(parents=True)
        (world / KEYCHAIN).write_text('{"items": []}\n')
        shutil.copy(HERE.parent.parent / "scripts/test-on-mac", world / f"world/{name}/scripts")
        shutil.copytree(HERE / "on-mac", world / f"world/{name}/tests/mac/on-mac")
        shutil.copy(HERE / "fakes" / "log", world / "world/mac-fakes")
        self.script = f"/var/world/{name}/scripts/test-on-mac"
        return world

    def start(self, world, product=SETUP, shell=("bash", "--posix")):
        """The Mac's /bin/sh is bash in its POSIX mode; dash holds the script to POSIX alone."""
        self.assertTrue(product and Path(product).is_file(), "TALVO_SETUP must name Setup")
        (world / "syslog.sock").unlink(missing_ok=True)
        recorder = SystemLogRecorder(SimpleNamespace(root=world))
        recorder.messages = LogRecord(world / "world/log/system-log.jsonl")
        self.addCleanup(recorder.entries)
        return subprocess.Popen(
            [str(RUN_IN_WORLD), "--world", str(world), "--product", str(product), "--",
             "env", f"PATH={PATH}", *shell, self.script, "/usr/local/bin/Setup"],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            text=True)

    def run_script(self, world, **options):
        process = self.start(world, **options)
        output = process.communicate(timeout=300)[0]
        return process.returncode, output

    def assert_clean(self, world):
        left = {str(path.relative_to(world)) for top in ("Applications", "Library", "world/launchd")
                for path in (world / top).rglob("*")}
        self.assertEqual(left, {"Library/Application Support", "Library/Keychains", KEYCHAIN,
                                "Library/LaunchDaemons"})
        self.assertEqual(json.loads((world / KEYCHAIN).read_text())["items"], [])

    def test_an_installed_agent_is_left_alone(self):
        world = self.new_world("installed")
        info = world / APP / "Contents" / "Info.plist"
        info.parent.mkdir(parents=True)
        info.write_text("the real agent")
        status, output = self.run_script(world)
        self.assertEqual((status, info.read_text()), (2, "the real agent"), output)
        self.assertIn("nothing was changed", output)
        calls = [json.loads(line)["argv"][0]
                 for line in (world / "world/log/calls.jsonl").read_text().splitlines()]
        self.assertLessEqual(set(calls), {"list", "find-generic-password"}, "only looked")

    def test_a_killed_runs_leftovers_go_first_then_every_scenario_runs_and_a_failure_shows(self):
        world = self.new_world("killed")
        self.interrupt_once_installed(world, signal.SIGKILL)
        self.assertTrue((world / APP).exists(), "a killed run leaves its stand-in")
        # The real Setup, but refusing its root tool's marker with another status than 64.
        shutil.copy(SETUP, world / "world/real-Setup")
        product = world / "failing-setup"
        product.write_text('#!/bin/sh\n/var/world/real-Setup "$@"\nstatus=$?\n'
                           '[ "$1" = --talvo-root-tool ] && exit 70\nexit $status\n')
        product.chmod(0o755)
        status, output = self.run_script(world, product=product, shell=("dash",))
        self.assertEqual(status, 1, output)
        self.assertEqual(output.count("\n== "), 8, output)  # every scenario ran
        self.assertEqual(re.findall(r"FAILED: .*", output), ["FAILED: exit status 64"], output)
        self.assertRegex(output.splitlines()[-1], r"^[1-9]\d* passed, 1 failed$")
        self.assert_clean(world)

    def test_an_interrupted_run_cleans_up(self):
        world = self.new_world("interrupted")
        status, output = self.interrupt_once_installed(world, signal.SIGTERM, shell=("dash",))
        self.assertEqual(status, 143, output)
        self.assert_clean(world)

    def interrupt_once_installed(self, world, sent, **options):
        """Signals the script's shell once it has installed its stand-in and stored a key."""
        process = self.start(world, **options)
        self.addCleanup(process.kill)
        deadline = time.monotonic() + 60
        while not ((world / APP).exists() and json.loads((world / KEYCHAIN).read_text())["items"]):
            self.assertLess(time.monotonic(), deadline, "the script did not install its stand-in")
            time.sleep(0.05)
        # The oldest process running the script: the others are its subshells.
        shell = subprocess.run(["pgrep", "-o", "-f", f"^(bash --posix|dash) {self.script} "],
                               capture_output=True, text=True, check=True).stdout
        os.kill(int(shell), sent)
        output = process.communicate(timeout=60)[0]
        return process.returncode, output


if __name__ == "__main__":
    unittest.main()

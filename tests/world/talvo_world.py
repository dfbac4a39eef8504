"""A macOS-shaped world in a folder, for running the real Setup against.

World.create() lays out what a Mac with the agent's package installed holds for the installer:
the agent's bundle with its applications, the two launch daemons, an empty System keychain and
the agent's Application Support folder. run() starts one session in the sandbox (run-in-world)
and the readers look at the folder afterwards. Paths given to the World are the world's own
("/Library/..."); they never touch the host's."""

import json
import os
import plistlib
import re
import shutil
import socket
import subprocess
import tempfile
import threading
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
RUN_IN_WORLD = HERE / "run-in-world"

APP = "/Applications/Talvo Backup Agent.app"
AGENT_EXECUTABLE = APP + "/Contents/MacOS/TalvoBackupAgent"
STATUS_APP = APP + "/Contents/MacOS/TalvoBackupAgentStatus.app"
SUPPORT = "/Library/Application Support/Talvo Backup Agent"
DATABASE = SUPPORT + "/config.sqlite"
SEED_FILE = SUPPORT + "/seed.conf"
KEYCHAIN = "/Library/Keychains/System.keychain"
MANAGED = "/Library/Managed Preferences"
PROFILE_NAME = "com.talvo.backup.agent.plist"
DAEMON_LABELS = ("com.talvo.backup.agent", "com.talvo.backup.agent.updater")
KEY_ACCOUNT = "talvo/backup/customer-encryption-key"
KEY_SERVICE = "TalvoBackupAgent"
USER_NAMES = {"root": "root", "501": "staff1"}
# Setup's entries in the system log, without syslog's header.
LOG_ENTRY = re.compile(r"^<\d+>.*? talvo-setup\[\d+\]: (.*)$", re.DOTALL)


class WorldUnavailable(Exception):
    """The sandbox could not be started at all."""


@dataclass
class Session:
    """What one run of a command in the world showed."""

    status: int
    timed_out: bool
    seconds: float
    stdout: str
    stderr: str
    opened: dict
    launched: list
    processes: str
    daemon_listing: str
    lines: list = field(init=False)

    def __post_init__(self):
        self.lines = self.stdout.splitlines()

    @property
    def loaded_daemons(self):
        """Labels of the launch daemons loaded when the command had ended."""
        rows = [line.split("\t") for line in self.daemon_listing.splitlines()[1:]]
        return {row[2] for row in rows if len(row) == 3}

    def still_running(self, application):
        return self.opened[application]["alive"]

    def launched_executables(self):
        return [entry[1] for entry in self.launched if len(entry) > 1]


@dataclass
class AgentCall:
    uid: int
    argv: list
    seed: bytes | None  # the seed file as the agent read it, when -seed-path= named one


class World:
    def __init__(self, root, app_stub):
        self.root = Path(root)
        self.app_stub = Path(app_stub)

    # -- building -------------------------------------------------------------------------

    @classmethod
    def create(cls, root, app_stub):
        world = cls(root, app_stub)
        world._lay_out()
        return world

    def host_path(self, path):
        """Where a world path ("/Library/...") lies in the world's folder."""
        if path.startswith("/var/world/"):
            return self.root / "world" / path[len("/var/world/"):]
        return self.root / path.lstrip("/")

    def _lay_out(self):
        for folder in ("Applications", "Library/LaunchDaemons", "Library/Keychains",
                       "Library/Application Support", "world/control", "world/log",
                       "world/agent"):
            (self.root / folder).mkdir(parents=True, exist_ok=True)
        self._make_bundle(APP, "com.talvo.backup.app", "Talvo Backup Agent", binary=False)
        self._make_bundle(STATUS_APP, "com.talvo.backup.status", "TalvoBackupAgentStatus",
                          binary=True)
        agent = self.host_path(AGENT_EXECUTABLE)
        shutil.copyfile(HERE / "bundle" / "TalvoBackupAgent", agent)
        agent.chmod(0o755)
        for label, role in zip(DAEMON_LABELS, ("daemon", "updater")):
            self.write_plist(f"/Library/LaunchDaemons/{label}.plist", {
                "Label": label,
                "ProgramArguments": [AGENT_EXECUTABLE, role],
                "RunAtLoad": True,
                "KeepAlive": True,
            })
        self.write(KEYCHAIN, b'{"items": []}\n')
        self.host_path(SUPPORT).mkdir(parents=True, exist_ok=True)

    def _make_bundle(self, bundle, identifier, executable, binary):
        macos = self.host_path(bundle) / "Contents" / "MacOS"
        macos.mkdir(parents=True, exist_ok=True)
        info = {
            "CFBundleIdentifier": identifier,
            "CFBundleExecutable": executable,
            "CFBundleName": executable,
            "CFBundlePackageType": "APPL",
        }
        self.write_plist(bundle + "/Contents/Info.plist", info, binary=binary)
        shutil.copyfile(self.app_stub, macos / executable)
        (macos / executable).chmod(0o755)

    # -- setting the scene ----------------------------------------------------------------

    def write(self, path, content):
        target = self.host_path(path)
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(content if isinstance(content, bytes) else content.encode())

    def write_plist(self, path, value, binary=False):
        form = plistlib.FMT_BINARY if binary else plistlib.FMT_XML
        self.write(path, plistlib.dumps(value, fmt=form))

    def profile_path(self, user=None):
        folder = MANAGED if user is None else f"{MANAGED}/{user}"
        return f"{folder}/{PROFILE_NAME}"

    def set_profile(self, settings, binary=False, user=None):
        """A managed profile as an MDM server leaves it: computer-wide, or for one user."""
        self.write_plist(self.profile_path(user), settings, binary=binary)

    def configure_agent(self):
        """The agent's database exists: the agent counts as configured."""
        self.write(DATABASE, b"SQLite format 3\0")

    def set_agent_init_status(self, status):
        self.write("/var/world/control/agent-init-status", f"{status}\n")

    def set_pkexec_answers(self, *answers):
        self.write("/var/world/control/pkexec", "".join(a + "\n" for a in answers))

    def remove_pkexec(self):
        """A computer without the authentication tool: /usr/bin/pkexec is not there."""
        (self.root / "no-pkexec").touch()

    def make_read_only(self, path):
        """Binds the folder read-only over itself, so that even root cannot write in it."""
        with open(self.root / "readonly", "a", encoding="utf-8") as f:
            f.write(path + "\n")

    def remove(self, path):
        target = self.host_path(path)
        if target.is_dir():
            shutil.rmtree(target)
        elif target.exists():
            target.unlink()

    def store_key(self, secret, account=KEY_ACCOUNT, service=KEY_SERVICE):
        """An item left in the System keychain by an earlier installation."""
        keychain = json.loads(self.read(KEYCHAIN))
        keychain["items"].append({
            "account": account, "service": service, "label": service,
            "secret": secret.hex(), "trustedApplications": [AGENT_EXECUTABLE],
            "anyApplication": False, "created": "20240101000000Z",
        })
        self.write(KEYCHAIN, json.dumps(keychain, indent=2) + "\n")

    # -- running --------------------------------------------------------------------------

    def run(self, command, product=None, user="root", applications=(), daemons=False,
            expect_launch=True, timeout=30):
        description = {
            "command": command,
            "applications": list(applications),
            "daemons": daemons,
            "expectLaunch": expect_launch,
            "timeout": timeout,
        }
        self.write("/var/world/control/session.json", json.dumps(description))
        invocation = [str(RUN_IN_WORLD), "--world", str(self.root), "--user", user]
        if product is not None:
            invocation += ["--product", str(product)]
        invocation += ["--", "/opt/world/tools/session", "/var/world/control/session.json"]
        completed = subprocess.run(invocation, capture_output=True, stdin=subprocess.DEVNULL,
                                   timeout=timeout + 30)
        result_path = self.host_path("/var/world/out/session.json")
        if completed.returncode != 0 or not result_path.exists():
            raise WorldUnavailable(
                f"the world did not run (status {completed.returncode}):\n"
                + completed.stderr.decode("utf-8", "replace")
                + completed.stdout.decode("utf-8", "replace"))
        result = json.loads(result_path.read_text(encoding="utf-8"))
        return Session(result["status"], result["timedOut"], result["seconds"],
                       result["stdout"], result["stderr"], result["opened"], result["launched"],
                       result["processes"], result["daemons"])

    def run_setup(self, *words, product, **options):
        return self.run(["/usr/local/bin/Setup", *words], product=product, **options)

    # -- reading the world afterwards -----------------------------------------------------

    def exists(self, path):
        return self.host_path(path).exists()

    def read(self, path):
        return self.host_path(path).read_bytes()

    def agent_calls(self, init_only=True):
        """The agent executable's calls in order; by default only its setup (daemon --init)."""
        try:
            index = self.read("/var/world/log/agent").decode().splitlines()
        except FileNotFoundError:
            return []
        calls = []
        for line in index:
            call, uid = line.split(" uid=")
            argv = [os.fsdecode(word) for word in
                    self.read(f"/var/world/agent/{call}.argv").split(b"\n")[:-1]]
            seed_path = self.host_path(f"/var/world/agent/{call}.seed")
            seed = seed_path.read_bytes() if seed_path.exists() else None
            if not init_only or argv[:2] == ["daemon", "--init"]:
                calls.append(AgentCall(int(uid), argv, seed))
        return calls

    def calls(self, tool=None, during_command=True):
        """The fakes' recorded calls ({"tool", "uid", "argv", "status", ...}), by default only
        those made while the session's command ran."""
        try:
            lines = self.read("/var/world/log/calls.jsonl").decode().splitlines()
        except FileNotFoundError:
            return []
        entries, inside = [], not during_command
        for line in lines:
            entry = json.loads(line)
            if "mark" in entry:
                if during_command:
                    inside = entry["mark"] == "command starts"
                    if inside:
                        entries = []  # only the last session's command
                continue
            if inside and (tool is None or entry["tool"] == tool):
                entries.append(entry)
        return entries

    def keychain_items(self):
        """The System keychain's items, the secret as bytes."""
        items = json.loads(self.read(KEYCHAIN))["items"]
        for item in items:
            item["secret"] = bytes.fromhex(item["secret"])
        return items


class SystemLogRecorder:
    """A datagram socket that receives what syslog(3) sends, kept short of the socket path
    limit in a folder of its own and linked into the world."""

    def __init__(self, world):
        self.folder = Path(tempfile.mkdtemp(prefix="talvo-log-"))
        self.folder.chmod(0o755)
        path = self.folder / "log"
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.socket.bind(str(path))
        path.chmod(0o666)
        self.socket.settimeout(0.2)
        os.symlink(path, world.root / "syslog.sock")
        self.messages = []
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._receive, daemon=True)
        self.thread.start()

    def _receive(self):
        while not self.stopping.is_set():
            try:
                self.messages.append(self.socket.recv(65536).decode("utf-8", "surrogateescape"))
            except socket.timeout:
                continue

    def entries(self):
        """Setup's entries so far, in order, without syslog's header."""
        self.stopping.set()
        self.thread.join()
        self.socket.close()
        (self.folder / "log").unlink()
        self.folder.rmdir()
        return [match.group(1) for match in map(LOG_ENTRY.match, self.messages) if match]

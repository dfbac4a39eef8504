"""The real Setup, run in the world as root and as uid 501: what it prints, its exit status, and
what the world looks like afterwards (the agent's registration, the keychain, the daemons, the
seed file, the applications)."""

import datetime
import unittest

from talvo_world import (AGENT_EXECUTABLE, APP, DATABASE, DAEMON_LABELS, KEY_ACCOUNT,
                         KEY_SERVICE, KEYCHAIN, SEED_FILE, SUPPORT)
from worldcase import PRODUCT, WorldTestCase

CHECKING = "Checking MDM..."
NO_MDM = "No MDM found..."
INSTALLING_MDM = "Installing MDM..."
INSTALLING_USER = "Installing User..."
AGENT_RUNNING = "Talvo Backup Agent is already running."
STATUS_RUNNING = "Talvo Backup Agent Status is already running."
SHORT_KEY = 'Error Domain=InputError Code=-1 "Encryption key must be at least 8 characters long."'
USERS = ("root", "501")
DAEMON_PLISTS = [f"/Library/LaunchDaemons/{label}.plist" for label in DAEMON_LABELS]
AGENT_APP_EXECUTABLE = APP + "/Contents/MacOS/Talvo Backup Agent"
KEY_WORDS = f'-a "{KEY_ACCOUNT}" -s "{KEY_SERVICE}"'


def command_error(code):
    return f'Error Domain=ProcessErrorDomain Code={code} "(null)"'


def bootstrap_commands(verb):
    return [f"sudo launchctl {verb} system {plist}" for plist in DAEMON_PLISTS]


def agent_command(*options):
    return " ".join([f'"{AGENT_EXECUTABLE}" daemon --init', *options])


def add_key_command(passphrase):
    """As a normal user's run hands it over: without "sudo", which would log the passphrase."""
    return (f'security add-generic-password {KEY_WORDS} -l "{KEY_SERVICE}" '
            f'-w "{passphrase}" -T "{AGENT_EXECUTABLE}" "{KEYCHAIN}"')


class SetupTestCase(WorldTestCase):
    """Assertions about a world after a Setup session."""

    def registrations(self, world):
        return world.agent_calls()

    def assert_registered(self, world, *options):
        calls = self.registrations(world)
        self.assertEqual([call.argv for call in calls], [["daemon", "--init", *options]])
        self.assertEqual(calls[0].uid, 0, "the agent's setup must run as root")
        self.assertTrue(world.exists(DATABASE))

    def assert_not_registered(self, world):
        self.assertEqual(self.registrations(world), [])

    def assert_key(self, world, passphrase):
        items = world.keychain_items()
        self.assertEqual(len(items), 1, items)
        item = items[0]
        self.assertEqual(item["secret"], passphrase.encode())
        self.assertEqual((item["account"], item["service"], item["label"]),
                         (KEY_ACCOUNT, KEY_SERVICE, KEY_SERVICE))
        self.assertEqual(item["trustedApplications"], [AGENT_EXECUTABLE])

    def assert_no_key(self, world):
        self.assertEqual(world.keychain_items(), [])
        changes = [call for call in world.calls("security")
                   if call["argv"][0] != "find-generic-password"]
        self.assertEqual(changes, [])

    def launchctl(self, world):
        return [(call["argv"][0], call["argv"][2], call["status"])
                for call in world.calls("launchctl")]

    def assert_daemons_started(self, world, session, after=()):
        self.assertEqual(self.launchctl(world),
                         [*after, *(("bootstrap", plist, 0) for plist in DAEMON_PLISTS)])
        self.assertEqual(session.loaded_daemons, set(DAEMON_LABELS))

    def assert_no_daemons(self, world, session):
        self.assertEqual(self.launchctl(world), [])
        self.assertEqual(session.loaded_daemons, set())

    def assert_app_opened(self, session):
        self.assertEqual(session.launched_executables(), [AGENT_APP_EXECUTABLE])

    def assert_app_not_opened(self, session):
        self.assertEqual(session.launched_executables(), [])

    def privileged(self, world):
        """The command lines run through pkexec, each handed to one fixed /bin/sh -c script on
        its stdin."""
        calls = world.calls("pkexec")
        for call in calls:
            self.assertEqual(call["argv"][:2], ["/bin/sh", "-c"], call)
            self.assertEqual(call["argv"], calls[0]["argv"], "pkexec's command line is fixed")
        return [call["stdin"] for call in calls]


class WordsInstallTest(SetupTestCase):
    def test_first_install_registers_stores_the_key_and_starts_the_daemons(self):
        words = ["REG_TOKEN=tok-123", "REG_SERVICE=https://backup.example/reg",
                 "ENCRYPTION_KEY=correct horse battery"]
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                session = self.setup(world, *words, user=user)
                self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER])
                self.assertEqual(session.status, 0)
                self.assert_registered(world, "-reg-token=tok-123",
                                       "-reg-service=https://backup.example/reg")
                self.assert_key(world, "correct horse battery")
                # No agent process was running, so nothing was booted out first.
                self.assert_daemons_started(world, session)
                self.assert_app_opened(session)

                find = world.calls("security")[0]
                self.assertEqual(find["argv"][0], "find-generic-password")
                self.assertEqual(find["uid"], 0 if user == "root" else 501,
                                 "the key is looked for with the user's own rights")
                self.assertNotIn("delete-generic-password",
                                 [call["argv"][0] for call in world.calls("security")])
                if user == "root":
                    self.assertEqual(self.privileged(world), [])
                else:
                    self.assertEqual(self.privileged(world), [
                        agent_command("-reg-token=tok-123",
                                      "-reg-service=https://backup.example/reg"),
                        add_key_command("correct horse battery"),
                        *bootstrap_commands("bootstrap"),
                    ])

    def test_words_are_matched_loosely_and_odd_ones_ignored(self):
        world = self.new_world()
        session = self.setup(world, "seed_path=/Users/Shared/Seed.conf", " reg_token = spaced ",
                             "REG_SERVICE=a=b", "CLEAN_INSTALL=maybe", "--help",
                             "-seed-path=/ignored", "REG_TOKEN=")
        self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER])
        self.assertEqual(session.status, 0)
        self.assert_registered(world, "-reg-token=spaced", "-reg-service=a=b",
                               "-seed-path=/Users/Shared/Seed.conf")
        self.assertEqual(world.calls("security"), [])

    def test_only_unknown_words_install_with_no_settings(self):
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                session = self.setup(world, "--help", user=user)
                self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER])
                self.assertEqual(session.status, 0)
                self.assert_registered(world)
                self.assertEqual(world.calls("security"), [])
                self.assert_daemons_started(world, session)
                self.assert_app_opened(session)


class ProfileInstallTest(SetupTestCase):
    def test_profile_forms_and_places(self):
        cases = [
            # name, user, binary, where the valid profile is, a broken computer-wide one
            ("xml", "root", False, None, False),
            ("binary", "501", True, None, False),
            ("per-user root", "root", False, "root", True),
            ("per-user 501", "501", True, "staff1", True),
            ("per-user only", "501", False, "staff1", False),
        ]
        for name, user, binary, owner, broken_computer_wide in cases:
            with self.subTest(name):
                world = self.new_world()
                settings = {"reg-token": f"mdm-{user}", "reg-service": "https://mdm.example",
                            "encryption-key": "mdm passphrase"}
                world.set_profile(settings, binary=binary, user=owner)
                if broken_computer_wide:
                    world.write(world.profile_path(), b"<plist><dict><key>half")
                session = self.setup(world, user=user)
                self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
                self.assertEqual(session.status, 0)
                self.assert_registered(world, f"-reg-token=mdm-{user}",
                                       "-reg-service=https://mdm.example")
                self.assert_key(world, "mdm passphrase")
                self.assert_daemons_started(world, session)
                self.assert_app_opened(session)

    def test_computer_wide_profile_wins_over_the_users_and_other_users_are_not_read(self):
        world = self.new_world()
        world.set_profile({"reg-token": "computer"})
        world.set_profile({"reg-token": "user"}, user="staff1")
        session = self.setup(world, user="501")
        self.assertEqual(session.status, 0)
        self.assert_registered(world, "-reg-token=computer")

        world = self.new_world()
        world.set_profile({"reg-token": "someone else"}, user="staff2")
        session = self.setup(world, "REG_TOKEN=words", user="501")
        self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER])
        self.assert_registered(world, "-reg-token=words")

    def test_the_user_of_the_per_user_profile_comes_from_the_environment(self):
        cases = [
            ("alice", ["HOME=/Users/alice", "SUDO_USER=bob", "USER=carol"]),
            ("bob", ["-u", "HOME", "SUDO_USER=bob", "USER=carol"]),
            ("carol", ["-u", "HOME", "-u", "SUDO_USER", "USER=carol"]),
        ]
        for name, environment in cases:
            with self.subTest(name):
                world = self.new_world()
                for user in ("alice", "bob", "carol"):
                    world.set_profile({"reg-token": user}, user=user)
                session = self.run_in(world, ["env", *environment, "/usr/local/bin/Setup"],
                                      product=PRODUCT)
                self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
                self.assert_registered(world, f"-reg-token={name}")

    def test_words_are_ignored_when_a_profile_exists(self):
        world = self.new_world()
        world.set_profile({"reg-token": "from-profile"})
        session = self.setup(world, "REG_TOKEN=from-words", "ENCRYPTION_KEY=short",
                             "CLEAN_INSTALL=yes")
        self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
        self.assertEqual(session.status, 0)
        self.assert_registered(world, "-reg-token=from-profile")
        self.assert_no_key(world)

    def test_empty_profile_installs_with_no_settings(self):
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                world.set_profile({})
                session = self.setup(world, user=user)
                self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
                self.assertEqual(session.status, 0)
                self.assert_registered(world)
                self.assertEqual(world.calls("security"), [])
                self.assert_daemons_started(world, session)

    def test_profile_without_a_dictionary_at_its_root_is_no_profile(self):
        world = self.new_world()
        world.write_plist(world.profile_path(), ["reg-token", "t"])
        session = self.setup(world, "REG_TOKEN=words")
        self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER])
        self.assert_registered(world, "-reg-token=words")

    def test_seed_values_of_every_property_list_type_are_written(self):
        world = self.new_world()
        world.set_profile({"seed-config": {
            "flag": True, "ratio": 0.5, "list": [1, "a"], "nested": {"k": "v"},
            "blob": b"\x00\xff", "when": datetime.datetime(2024, 1, 2, 3, 4, 5)}})
        session = self.setup(world)
        self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
        self.assertEqual(session.status, 0)
        lines = world.read(SEED_FILE).decode().split("\n")
        self.assertEqual(sorted(line.split(" = ", 1)[0] for line in lines),
                         ["blob", "flag", "list", "nested", "ratio", "when"])
        self.assert_registered(world, f"-seed-path={SEED_FILE}")

    def test_clean_up_counts_by_presence_and_wrong_types_are_absent(self):
        world = self.new_world()
        world.configure_agent()
        world.set_profile({"clean-up": False, "reg-token": 5, "reg-service": "svc",
                           "encryption-key": ["not", "text"]})
        session = self.setup(world)
        self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
        self.assertEqual(session.status, 0)
        self.assert_registered(world, "-reg-service=svc", "-clean-up")
        self.assertEqual(world.calls("security"), [])


class AlreadyConfiguredTest(SetupTestCase):
    def test_words_without_clean_up_only_start_the_daemons(self):
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                world.configure_agent()
                world.store_key(b"old secret")
                # Seven characters: not even validated, since nothing is to be installed.
                session = self.setup(world, "REG_TOKEN=x", "ENCRYPTION_KEY=short7c",
                                     "CLEAN_INSTALL=no", user=user)
                self.assertEqual(session.lines, [CHECKING, NO_MDM])
                self.assertEqual(session.status, 0)
                self.assert_not_registered(world)
                self.assertEqual(world.calls("security"), [])
                self.assert_key(world, "old secret")
                self.assert_daemons_started(world, session)
                self.assert_app_opened(session)

    def test_clean_install_registers_again_and_replaces_the_key(self):
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                world.configure_agent()
                world.store_key(b"old secret")
                session = self.setup(world, "CLEAN_INSTALL=YES", "REG_TOKEN=t",
                                     "ENCRYPTION_KEY=new passphrase", user=user)
                self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER])
                self.assertEqual(session.status, 0)
                self.assert_registered(world, "-reg-token=t", "-clean-up")
                self.assert_key(world, "new passphrase")
                keychain = [(call["argv"][0], call["uid"]) for call in world.calls("security")]
                self.assertEqual(keychain, [
                    ("find-generic-password", 0 if user == "root" else 501),
                    ("delete-generic-password", 0), ("add-generic-password", 0)])
                if user == "501":
                    self.assertEqual(self.privileged(world)[1:3], [
                        f'sudo security delete-generic-password {KEY_WORDS} "{KEYCHAIN}"',
                        add_key_command("new passphrase")])
                self.assert_daemons_started(world, session)

    def test_profile_without_clean_up_is_left_alone(self):
        world = self.new_world()
        world.configure_agent()
        world.set_profile({"reg-token": "t", "encryption-key": "whatever passphrase"})
        session = self.setup(world, "CLEAN_INSTALL=yes")
        self.assertEqual(session.lines, [CHECKING])
        self.assertEqual(session.status, 0)
        self.assert_not_registered(world)
        self.assert_no_key(world)
        self.assert_daemons_started(world, session)
        self.assert_app_opened(session)


class ShortKeyTest(SetupTestCase):
    def test_short_key_stops_before_registration_with_status_65(self):
        keys = {"seven": "1234567", "seven decomposed accents": "e\u0301" * 7}
        for user in USERS:
            for name, key in keys.items():
                with self.subTest(user=user, key=name):
                    world = self.new_world()
                    session = self.setup(world, "REG_TOKEN=t", f"ENCRYPTION_KEY={key}",
                                         user=user)
                    self.assertEqual(session.lines,
                                     [CHECKING, NO_MDM, INSTALLING_USER, SHORT_KEY])
                    self.assertEqual(session.status, 65)
                    self.assert_not_registered(world)
                    self.assertEqual(world.calls("security"), [])
                    self.assertEqual(world.calls("pkexec"), [])
                    self.assert_no_daemons(world, session)
                    self.assert_app_opened(session)

    def test_eight_emoji_are_long_enough(self):
        world = self.new_world()
        session = self.setup(world, "ENCRYPTION_KEY=" + "\U0001F511" * 8)
        self.assertEqual(session.status, 0)
        self.assert_key(world, "\U0001F511" * 8)

    def test_short_key_in_a_profile(self):
        world = self.new_world()
        world.set_profile({"reg-token": "t", "encryption-key": "short"})
        session = self.setup(world)
        self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM, SHORT_KEY])
        self.assertEqual(session.status, 65)
        self.assert_not_registered(world)
        self.assert_no_daemons(world, session)
        self.assert_app_opened(session)


class AgentFailureTest(SetupTestCase):
    def test_failed_agent_setup_ends_the_run_with_its_status(self):
        for user in USERS:
            for source in ("words", "profile"):
                with self.subTest(user=user, source=source):
                    world = self.new_world()
                    world.set_agent_init_status(3)
                    words = ["REG_TOKEN=t", "ENCRYPTION_KEY=long enough key"]
                    if source == "profile":
                        world.set_profile({"reg-token": "t", "encryption-key": "long enough key"})
                        words = []
                    session = self.setup(world, *words, user=user, expect_launch=False)
                    announced = INSTALLING_USER if source == "words" else INSTALLING_MDM
                    self.assertEqual(session.lines[-2:], [announced, command_error(3)])
                    self.assertEqual(session.status, 3)
                    self.assertEqual([call.argv for call in self.registrations(world)],
                                     [["daemon", "--init", "-reg-token=t"]])
                    self.assertFalse(world.exists(DATABASE))
                    self.assertEqual(world.calls("security"), [], "no key after a failed setup")
                    self.assert_no_daemons(world, session)
                    self.assert_app_not_opened(session)


class AuthenticationTest(SetupTestCase):
    def test_dismissed_or_denied_authentication_ends_the_run(self):
        for answer, status in (("dismiss", 126), ("deny", 127)):
            with self.subTest(answer=answer):
                world = self.new_world()
                world.set_pkexec_answers(answer)
                session = self.setup(world, "REG_TOKEN=t", "ENCRYPTION_KEY=long enough key",
                                     user="501", expect_launch=False)
                self.assertEqual(session.lines,
                                 [CHECKING, NO_MDM, INSTALLING_USER, command_error(status)])
                self.assertEqual(session.status, status)
                self.assertEqual(self.privileged(world), [agent_command("-reg-token=t")])
                self.assert_not_registered(world)
                self.assert_no_key(world)
                self.assert_no_daemons(world, session)
                self.assert_app_not_opened(session)

    def test_without_an_authentication_tool_nothing_privileged_runs(self):
        world = self.new_world()
        world.remove_pkexec()
        session = self.setup(world, "REG_TOKEN=t", user="501", expect_launch=False)
        self.assertEqual(session.lines,
                         [CHECKING, NO_MDM, INSTALLING_USER, command_error(127)])
        self.assertEqual(session.status, 127)
        self.assert_not_registered(world)
        self.assert_no_daemons(world, session)
        self.assert_app_not_opened(session)

    def test_refused_later_steps_are_reported_and_the_run_goes_on(self):
        world = self.new_world()
        world.set_pkexec_answers("allow", "dismiss")
        session = self.setup(world, "REG_TOKEN=t", "ENCRYPTION_KEY=long enough key",
                             user="501")
        self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER,
                                         *[command_error(126)] * 3])
        self.assertEqual(session.status, 126, "the key was not stored")
        self.assert_registered(world, "-reg-token=t")
        self.assertEqual(world.keychain_items(), [])
        self.assertEqual(self.privileged(world)[1:],
                         [add_key_command("long enough key"), *bootstrap_commands("bootstrap")])
        self.assert_no_daemons(world, session)
        self.assert_app_opened(session)


class RunningAgentTest(SetupTestCase):
    def test_running_applications_are_stopped_and_the_daemons_restarted(self):
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                session = self.setup(world, "REG_TOKEN=t", user=user,
                                     applications=["agent", "status"], daemons=True)
                self.assertEqual(session.lines, [AGENT_RUNNING, STATUS_RUNNING, CHECKING,
                                                 NO_MDM, INSTALLING_USER])
                self.assertEqual(session.status, 0)
                self.assertFalse(session.still_running("agent"))
                self.assertFalse(session.still_running("status"))
                self.assert_daemons_started(world, session,
                                            after=[("bootout", p, 0) for p in DAEMON_PLISTS])
                self.assert_registered(world, "-reg-token=t")
                self.assert_app_opened(session)
                if user == "501":
                    self.assertEqual(self.privileged(world), [
                        *bootstrap_commands("bootout"), agent_command("-reg-token=t"),
                        *bootstrap_commands("bootstrap")])

    def test_only_the_status_application_running(self):
        world = self.new_world()
        session = self.setup(world, applications=["status"], daemons=True)
        self.assertEqual(session.lines, [STATUS_RUNNING, CHECKING, NO_MDM])
        self.assertEqual(session.status, 0)
        self.assertFalse(session.still_running("status"))
        # Unconfigured and without words: the daemons go down and stay down.
        self.assertEqual(self.launchctl(world), [("bootout", p, 0) for p in DAEMON_PLISTS])
        self.assertEqual(session.loaded_daemons, set())
        self.assert_app_opened(session)

    def test_loaded_daemons_without_an_agent_process_fail_to_bootstrap(self):
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                world.configure_agent()
                # launchd still holds both jobs, but no agent process is left to be found. The
                # shell gives way to Setup (exec), so that its own command line, which names the
                # agent, is not in the process list that Setup searches.
                session = self.run_in(world, ["/bin/sh", "-c", """
                    jobs='^/bin/sh .*/TalvoBackupAgent (daemon|updater)$'
                    /opt/world/bin/as-root pkill -f "$jobs"
                    while pgrep -f "$jobs" >/dev/null; do sleep 0.02; done
                    exec /usr/local/bin/Setup
                """], product=PRODUCT, user=user, daemons=True)
                self.assertEqual(session.lines,
                                 [CHECKING, NO_MDM, command_error(5), command_error(5)])
                self.assertEqual(session.status, 0)
                self.assertEqual(self.launchctl(world),
                                 [("bootstrap", p, 5) for p in DAEMON_PLISTS])
                self.assert_app_opened(session)

    def test_a_running_daemon_is_found_whatever_width_the_caller_sets(self):
        # ps cuts its lines to COLUMNS when that is set; the daemon's line names the agent only
        # after its long bundle path, well past column 80.
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                world.configure_agent()
                session = self.run_in(world, ["env", "COLUMNS=80", "/usr/local/bin/Setup"],
                                      product=PRODUCT, user=user, daemons=True)
                self.assertEqual(session.lines, [CHECKING, NO_MDM])
                self.assertEqual(session.status, 0)
                self.assert_daemons_started(world, session,
                                            after=[("bootout", p, 0) for p in DAEMON_PLISTS])

    def test_an_application_that_killall_cannot_find_is_reported(self):
        # Started under a longer name (argv[0]), the agent application is still the bundle's
        # running application, but killall, which then compares the whole name, finds no
        # "Talvo Backup Agent".
        world = self.new_world()
        session = self.run_in(world, ["/bin/bash", "-c", f"""
            (exec -a "Talvo Backup Agent Helper" "{AGENT_APP_EXECUTABLE}" \
                </dev/null >/dev/null 2>&1 &)
            while [ ! -s /var/world/log/launches ]; do sleep 0.02; done
            exec /usr/local/bin/Setup REG_TOKEN=t
        """], product=PRODUCT)
        self.assertEqual(session.lines, [AGENT_RUNNING, command_error(1), CHECKING, NO_MDM,
                                         INSTALLING_USER])
        self.assertEqual(session.status, 0)
        self.assert_registered(world, "-reg-token=t")
        self.assert_daemons_started(world, session)

    def test_opened_application_keeps_none_of_setups_output(self):
        # Whoever reads Setup's output through a pipe must see it end when Setup ends, even
        # though the agent application it opened goes on running.
        world = self.new_world()
        session = self.run_in(world, ["/bin/sh", "-c", "/usr/local/bin/Setup 2>&1 | cat"],
                              product=PRODUCT, timeout=15)
        self.assertFalse(session.timed_out)
        self.assertEqual(session.lines, [CHECKING, NO_MDM])
        self.assert_app_opened(session)

    def test_second_run_stops_what_the_first_one_started(self):
        world = self.new_world()
        session = self.run_in(world, ["/bin/sh", "-c", """
            /usr/local/bin/Setup REG_TOKEN=t; echo "== $?"
            while [ ! -s /var/world/log/launches ]; do sleep 0.02; done
            /usr/local/bin/Setup; echo "== $?"
        """], product=PRODUCT)
        self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER, "== 0",
                                         AGENT_RUNNING, CHECKING, NO_MDM, "== 0"])
        self.assertEqual(self.launchctl(world), [
            *(("bootstrap", p, 0) for p in DAEMON_PLISTS),
            *(("bootout", p, 0) for p in DAEMON_PLISTS),
            *(("bootstrap", p, 0) for p in DAEMON_PLISTS)])
        self.assertEqual(len(session.launched), 2)
        running = [line for line in session.processes.splitlines()
                   if line.endswith(AGENT_APP_EXECUTABLE)]
        self.assertEqual(len(running), 1, session.processes)


class PassphraseTest(SetupTestCase):
    HOSTILE = [
        'a"b$c`d\\e\'f',
        "$(touch /Library/pwned) `touch /Library/pwned` ${HOME} \\$HOME",
        "spaces  and\ttabs ;|&<>*?~!#%{}[]",
        "\u00fcn\u00efc\u00f6d\u00e9 \u2713 \U0001F511 e\u0301",
        "ends with a backslash\\",
        '"quoted"',
        "-starts-with-a-dash",
    ]

    def test_the_keychain_holds_exactly_the_passphrase(self):
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                for number, passphrase in enumerate(self.HOSTILE):
                    words = [f"ENCRYPTION_KEY={passphrase}"]
                    if number:
                        words.append("CLEAN_INSTALL=1")
                    session = self.setup(world, *words, user=user)
                    self.assertEqual(session.status, 0, passphrase)
                    self.assert_key(world, passphrase)
                    self.assertNotIn(passphrase, session.stdout + session.stderr)
                    self.assertFalse(world.exists("/Library/pwned"))

    def test_profile_passphrases_are_taken_untrimmed(self):
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                passphrase = "  line one\nline \"two\" $x \n"
                world.set_profile({"encryption-key": passphrase})
                session = self.setup(world, user=user)
                self.assertEqual(session.status, 0)
                self.assert_key(world, passphrase)


    def test_unreadable_keychain_is_reported_and_the_install_goes_on(self):
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                world.write(KEYCHAIN, b"\x00not a keychain")
                session = self.setup(world, "ENCRYPTION_KEY=long enough key", user=user)
                # Not found would be 44 and silent; 49 is reported, and the add is still tried.
                self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER,
                                                 command_error(49), command_error(49)])
                self.assertEqual(session.status, 49, "the key was not stored")
                self.assertEqual([call["argv"][0] for call in world.calls("security")],
                                 ["find-generic-password", "add-generic-password"])
                self.assert_daemons_started(world, session)


class SeedFileTest(SetupTestCase):
    def test_seed_config_is_written_and_handed_to_the_agent(self):
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                world.set_profile({"reg-token": "t", "seed-config": {
                    "server": "https://backup.example", "port": 8443, "name": "B\u00fcro Mac",
                    "empty": ""}}, binary=user == "501")
                session = self.setup(world, user=user)
                self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
                self.assertEqual(session.status, 0)
                content = world.read(SEED_FILE)
                self.assertFalse(content.endswith(b"\n"))
                self.assertCountEqual(content.decode().split("\n"), [
                    "server = https://backup.example", "port = 8443", "name = B\u00fcro Mac",
                    "empty = "])
                self.assert_registered(world, "-reg-token=t", f"-seed-path={SEED_FILE}")
                self.assertEqual(self.registrations(world)[0].seed, content,
                                 "the agent reads the file the installer wrote")

    def test_seed_path_wins_but_the_file_is_still_written(self):
        world = self.new_world()
        world.set_profile({"seed-config": {"a": "x"}, "seed-path": "/Users/Shared/seed.conf"})
        session = self.setup(world)
        self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
        self.assertEqual(session.status, 0)
        self.assertEqual(world.read(SEED_FILE), b"a = x")
        self.assert_registered(world, "-seed-path=/Users/Shared/seed.conf")

    def test_empty_seed_config_gives_an_empty_file(self):
        world = self.new_world()
        world.set_profile({"seed-config": {}})
        session = self.setup(world)
        self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
        self.assertEqual(session.status, 0)
        self.assertEqual(world.read(SEED_FILE), b"")
        self.assert_registered(world, f"-seed-path={SEED_FILE}")
        self.assertEqual(self.registrations(world)[0].seed, b"")

    def test_seed_config_that_is_no_dictionary_writes_nothing(self):
        world = self.new_world()
        world.write(SEED_FILE, "old = 1")
        world.set_profile({"seed-config": "server = elsewhere"})
        session = self.setup(world)
        self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
        self.assertEqual(session.status, 0)
        self.assertEqual(world.read(SEED_FILE), b"old = 1")
        self.assert_registered(world)

    def test_missing_seed_folder_is_reported_and_the_install_goes_on(self):
        world = self.new_world()
        world.remove(SUPPORT)
        world.set_profile({"reg-token": "t", "seed-config": {"a": "x"}})
        session = self.setup(world)
        self.assertEqual(len(session.lines), 3, session.lines)
        self.assertEqual([session.lines[0], session.lines[2]], [CHECKING, INSTALLING_MDM])
        self.assertNotIn(session.lines[1], (NO_MDM, INSTALLING_MDM))
        self.assertEqual(session.status, 0)
        self.assert_registered(world, "-reg-token=t", f"-seed-path={SEED_FILE}")
        self.assertFalse(world.exists(SEED_FILE), "the folder is not made for the seed file")
        self.assert_daemons_started(world, session)

    def test_unwritable_seed_folder_is_reported_and_the_agent_fails_there_too(self):
        world = self.new_world()
        world.make_read_only(SUPPORT)
        world.set_profile({"seed-config": {"a": "x"}})
        session = self.setup(world, expect_launch=False)
        self.assertEqual(len(session.lines), 4, session.lines)
        self.assertEqual([session.lines[0], *session.lines[2:]],
                         [CHECKING, INSTALLING_MDM, command_error(74)])
        self.assertEqual(session.status, 74)
        self.assertEqual([call.argv for call in self.registrations(world)],
                         [["daemon", "--init", f"-seed-path={SEED_FILE}"]])
        self.assertFalse(world.exists(SEED_FILE))
        self.assert_no_daemons(world, session)


class NoSettingsTest(SetupTestCase):
    def test_no_words_no_profile_no_database(self):
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                session = self.setup(world, user=user)
                self.assertEqual(session.lines, [CHECKING, NO_MDM])
                self.assertEqual(session.status, 0)
                self.assert_not_registered(world)
                self.assertEqual(world.calls(), [])
                self.assert_app_opened(session)

    def test_no_words_no_profile_with_database(self):
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                world.configure_agent()
                session = self.setup(world, user=user)
                self.assertEqual(session.lines, [CHECKING, NO_MDM])
                self.assertEqual(session.status, 0)
                self.assert_not_registered(world)
                self.assert_daemons_started(world, session)
                self.assert_app_opened(session)


if __name__ == "__main__":
    unittest.main()

"""What Setup leaves in the system's logs and what its outcome says: no passphrase in what sudo
and pkexec log (the world's stand-ins write /var/world/log/auth.log as the real tools write the
authentication log), the key still stored byte-exact, and words whose "=" carries a combining
mark."""

import unittest

from talvo_world import KEY_ACCOUNT
from talvo_world import KEYCHAIN
from test_setup_e2e import (CHECKING, INSTALLING_USER, NO_MDM, SHORT_KEY, USERS,
                            SetupTestCase, command_error)

AUTH_LOG = "/var/world/log/auth.log"

PASSPHRASES = [
    "plain-passphrase-42",
    'quote " dollar $HOME backquote `id` backslash \\ end\\',
    "line one\nline two\n\ttabbed \U0001F511 e\u0301",
]


def as_in_a_double_quoted_word(text):
    return "".join("\\" + c if c in '\\"$`' else c for c in text)


class SecretsTest(SetupTestCase):
    def auth_log(self, world):
        return world.read(AUTH_LOG).decode("utf-8", "surrogateescape") \
            if world.exists(AUTH_LOG) else ""

    def assert_nowhere_logged(self, world, passphrase):
        logged = self.auth_log(world)
        pkexec_argv = "\n".join(" ".join(call["argv"]) for call in world.calls("pkexec"))
        for form in {passphrase, as_in_a_double_quoted_word(passphrase)}:
            # Each line of it long enough not to turn up by chance.
            for line in (line for line in form.split("\n") if len(line) >= 6):
                self.assertNotIn(line, logged)
                self.assertNotIn(line, pkexec_argv)

    def test_a_normal_users_install_logs_no_passphrase_and_stores_it_exactly(self):
        for number, passphrase in enumerate(PASSPHRASES):
            with self.subTest(passphrase=passphrase):
                world = self.new_world()
                world.store_key(b"earlier secret")
                world.configure_agent()
                session = self.setup(world, "REG_TOKEN=t", f"ENCRYPTION_KEY={passphrase}",
                                     "CLEAN_INSTALL=yes", user="501")
                self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER])
                self.assertEqual(session.status, 0)
                self.assert_key(world, passphrase)
                self.assert_nowhere_logged(world, passphrase)

                # Every privileged step went through pkexec, and all but the agent and the add
                # through sudo, which logged each of them in full.
                logged = self.auth_log(world).splitlines()
                self.assertEqual(sum("pkexec[" in line for line in logged), 5, logged)
                sudo_logged = [line.split("COMMAND=", 1)[1] for line in logged
                               if line.startswith("sudo:")]
                self.assertEqual(len(sudo_logged), 3, logged)
                self.assertTrue(sudo_logged[0].endswith(
                    f"delete-generic-password -a {KEY_ACCOUNT} -s TalvoBackupAgent "
                    "/Library/Keychains/System.keychain"), sudo_logged)
                self.assertTrue(all("launchctl bootstrap system" in line
                                    for line in sudo_logged[1:]), sudo_logged)
                adds = [call for call in world.calls("security")
                        if call["argv"][0] == "add-generic-password"]
                self.assertEqual([call["uid"] for call in adds], [0])

    def test_a_profile_passphrase_reaches_no_log_either(self):
        world = self.new_world()
        passphrase = "  from the profile\n$(id) `id` \"q\" \\\n"
        world.set_profile({"encryption-key": passphrase})
        session = self.setup(world, user="501")
        self.assertEqual(session.status, 0)
        self.assert_key(world, passphrase)
        self.assert_nowhere_logged(world, passphrase.strip())

    def test_the_superusers_run_is_unchanged(self):
        world = self.new_world()
        passphrase = PASSPHRASES[1]
        session = self.setup(world, "REG_TOKEN=t", f"ENCRYPTION_KEY={passphrase}")
        self.assertEqual(session.status, 0)
        self.assert_key(world, passphrase)
        self.assertEqual(world.calls("pkexec"), [])
        self.assertEqual(self.auth_log(world), "")
        self.assertEqual([(call["argv"][0], call["uid"]) for call in world.calls("security")],
                         [("find-generic-password", 0), ("add-generic-password", 0)])


class CombiningMarkTest(SetupTestCase):
    def test_a_mark_behind_the_equals_sign_starts_the_value(self):
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                session = self.setup(world, "REG_TOKEN=t", "ENCRYPTION_KEY=\u0301abc", user=user)
                self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER, SHORT_KEY])
                self.assertEqual(session.status, 65)
                self.assert_not_registered(world)
                self.assertEqual(world.calls("security"), [])

                world = self.new_world()
                session = self.setup(world, "ENCRYPTION_KEY=\u0301 long enough", user=user)
                self.assertEqual(session.status, 0)
                self.assert_key(world, "\u0301 long enough")


class KeyNotStoredTest(SetupTestCase):
    def test_the_run_goes_on_and_ends_with_the_adds_status(self):
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                world.remove(KEYCHAIN)
                session = self.setup(world, "REG_TOKEN=t", "ENCRYPTION_KEY=long enough key",
                                     user=user)
                # The lookup's failure is printed too, but only the add's decides.
                self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER,
                                                 command_error(50), command_error(50)])
                self.assertEqual(session.status, 50)
                self.assert_registered(world, "-reg-token=t")
                self.assert_daemons_started(world, session)
                self.assert_app_opened(session)

    def test_a_dismissed_add_ends_with_126_after_the_daemons_started(self):
        world = self.new_world()
        world.set_pkexec_answers("allow", "dismiss", "allow")
        session = self.setup(world, "ENCRYPTION_KEY=long enough key", user="501")
        self.assertEqual(session.lines,
                         [CHECKING, NO_MDM, INSTALLING_USER, command_error(126)])
        self.assertEqual(session.status, 126)
        self.assertEqual(world.keychain_items(), [])
        self.assert_daemons_started(world, session)
        self.assert_app_opened(session)


if __name__ == "__main__":
    unittest.main()

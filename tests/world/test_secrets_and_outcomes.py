"""Passphrases as Setup hands them on: stored in the keychain byte-exact, whatever they hold, from
the words or a profile, and nowhere in what Setup prints or what sudo and pkexec log (the world's
stand-ins write /var/world/log/auth.log as the real tools write the authentication log)."""

from worldcase import BY_WORDS, CHECKING, INSTALLING_MDM, USERS, SetupTestCase

AUTH_LOG = "/var/world/log/auth.log"

PASSPHRASES = [
    'quote " dollar $HOME backquote `id` backslash \\ end\\',
    "line one\nline two\n\ttabbed \U0001F511 e\u0301",
    "$(touch /Library/pwned) `touch /Library/pwned` ${HOME} \\$HOME",
]
# Taken untrimmed, as the profile holds it.
PROFILE_PASSPHRASE = "  from the profile\n$(id) `id` \"q\" \\\n"


def as_in_a_double_quoted_word(text):
    return "".join("\\" + c if c in '\\"$`' else c for c in text)


class SecretsTest(SetupTestCase):
    def auth_log(self, world):
        return world.read(AUTH_LOG).decode("utf-8", "surrogateescape") \
            if world.exists(AUTH_LOG) else ""

    def assert_nowhere_logged(self, world, session, passphrase):
        logged = "\n".join([self.auth_log(world), session.stdout, session.stderr,
                            *(" ".join(call["argv"]) for call in world.calls("pkexec"))])
        for form in {passphrase, as_in_a_double_quoted_word(passphrase)}:
            # Each line of it long enough not to turn up by chance.
            for line in (line for line in form.split("\n") if len(line.strip()) >= 6):
                self.assertNotIn(line, logged)

    def test_passphrases_are_stored_exactly_and_logged_nowhere(self):
        for user in USERS:
            world = self.new_world()
            world.configure_agent()
            world.store_key(b"earlier secret")
            for passphrase in [*PASSPHRASES, PROFILE_PASSPHRASE]:
                with self.subTest(user=user, passphrase=passphrase):
                    world.remove(AUTH_LOG)
                    by_profile = passphrase == PROFILE_PASSPHRASE
                    if by_profile:
                        world.set_profile({"encryption-key": passphrase, "clean-up": True})
                    session = self.setup(world, *() if by_profile else (
                        "REG_TOKEN=t", f"ENCRYPTION_KEY={passphrase}", "CLEAN_INSTALL=yes"),
                        user=user)
                    self.assertEqual((session.lines, session.status),
                                     ([CHECKING, INSTALLING_MDM] if by_profile else BY_WORDS, 0))
                    self.assert_key(world, passphrase)
                    self.assert_nowhere_logged(world, session, passphrase)
                    # Nowhere means something: pkexec logged its 5 steps, sudo 3 of them.
                    self.assertEqual(self.auth_log(world).count("COMMAND="),
                                     0 if user == "root" else 8)

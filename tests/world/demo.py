"""Runs the built Setup twice in fresh macOS-shaped worlds and tells what it changed.

    python3 demo.py --setup PATH --app-stub PATH [--keep]

Example 1: an administrator (uid 501) installs with words while the agent is open and its daemons
run. Example 2: root installs from an MDM profile with a seed section; the words are ignored."""

import argparse
import shutil
import sys
import tempfile
from pathlib import Path

from talvo_world import (AGENT_EXECUTABLE, DAEMON_LABELS, DATABASE, KEYCHAIN, SEED_FILE, World,
                         WorldUnavailable)

COLOUR = sys.stdout.isatty()


def style(text, code):
    return f"\033[{code}m{text}\033[0m" if COLOUR else text


def bold(text):
    return style(text, "1")


def dim(text):
    return style(text, "2")


def heading(text):
    print()
    print(bold(text))
    print(bold("─" * len(text)))


def item(name, value=""):
    print(f"  • {name:<22}{value}")


def more(value):
    print(f"    {'':<22}{value}")


def mask(secret):
    """First and last character only, and never the length."""
    return f"{secret[:1]}••••••{secret[-1:]}" if len(secret) > 2 else "••••••"


def shell_words(words):
    def quote(word):
        safe = all(c.isalnum() or c in "-_=/.:@" for c in word)
        return word if safe else "'" + word.replace("'", "'\\''") + "'"
    return " ".join(quote(word) for word in words)


def show_run(words, session, user):
    prompt = "#" if user == "root" else "$"
    print(f"  {dim(prompt)} Setup {shell_words(words)}")
    print()
    for line in session.lines:
        print(f"    {dim('│')} {line}")
    print(f"  exit status {bold(str(session.status))}")
    print()


def show_changes(world, session, passphrase):
    print(bold("  What changed in the world"))
    stopped = [name for name, state in session.opened.items() if not state["alive"]]
    if session.opened:
        names = {"agent": "Talvo Backup Agent", "status": "TalvoBackupAgentStatus"}
        item("applications stopped", ", ".join(names[n] for n in stopped) or "none")

    prompts = world.calls("pkexec")
    if prompts:
        answers = " or ".join(sorted({call["answer"] for call in prompts}))
        item("authentication", f"{len(prompts)} privileged commands, each one {answers}ed"
             if answers == "allow" else f"{len(prompts)} privileged commands: {answers}")

    for call in world.agent_calls():
        item("agent registered", f"TalvoBackupAgent {shell_words(call.argv)}")
        created = "yes" if world.exists(DATABASE) else "no"
        more(dim(f"as uid {call.uid}; database created: {created}"))

    for key in world.keychain_items():
        secret = key["secret"].decode("utf-8", "replace")
        matches = passphrase is not None and key["secret"] == passphrase.encode()
        item("keychain item", f"{key['service']} / {key['account']}")
        more(f"in {KEYCHAIN}")
        verdict = "byte for byte the passphrase given" if matches else "NOT the passphrase given"
        more(f"secret {mask(secret)} ({verdict})")
        more(f"trusted application: {', '.join(key['trustedApplications'])}")
    if not world.keychain_items():
        item("keychain item", "none")

    steps = [f"{call['argv'][0]} {call['argv'][2].rsplit('/', 1)[-1]}"
             + ("" if call["status"] == 0 else f" (failed: {call['status']})")
             for call in world.calls("launchctl")]
    item("launchctl", steps[0] if steps else "nothing run")
    for step in steps[1:]:
        more(step)
    loaded = [label for label in DAEMON_LABELS if label in session.loaded_daemons]
    item("daemons loaded now", ", ".join(loaded) or "none")

    if world.exists(SEED_FILE):
        item("seed file", SEED_FILE)
        for line in world.read(SEED_FILE).decode("utf-8", "replace").split("\n"):
            more(dim("│ ") + line)
    else:
        item("seed file", "none")

    opened = session.launched_executables()
    item("agent app opened", "yes" if opened else "no")
    print()


def example_words(root, setup, stub):
    heading("Example 1 · an administrator installs with words (uid 501, staff1)")
    print("  Before: the agent and its status application are open, both daemons run.")
    print("  The authentication dialog is answered 'allow' each time it comes up.")
    print()
    world = World.create(root / "words", stub)
    passphrase = 'my "own" $passphrase `42`'
    words = ["REG_TOKEN=demo-7f3a", "REG_SERVICE=https://backup.example/register",
             f"ENCRYPTION_KEY={passphrase}"]
    session = world.run_setup(*words, product=setup, user="501",
                              applications=["agent", "status"], daemons=True)
    show_run(words, session, "501")
    show_changes(world, session, passphrase)


def example_profile(root, setup, stub):
    heading("Example 2 · root installs from an MDM profile")
    world = World.create(root / "profile", stub)
    passphrase = "correct horse battery staple"
    profile = {
        "reg-token": "mdm-41c9",
        "reg-service": "https://backup.example/register",
        "encryption-key": passphrase,
        "seed-config": {"server": "https://backup.example", "port": 8443,
                        "schedule": "daily 02:00"},
    }
    world.set_profile(profile, binary=True)
    print("  A binary property list in /Library/Managed Preferences:")
    for key, value in profile.items():
        if isinstance(value, dict):
            print(f"    {dim('│')} {key}:")
            for inner, inner_value in value.items():
                print(f"    {dim('│')}     {inner} = {inner_value}")
        else:
            print(f"    {dim('│')} {key} = {mask(value) if key == 'encryption-key' else value}")
    print("  The words on the command line are ignored when a profile exists.")
    print()
    words = ["REG_TOKEN=ignored"]
    session = world.run_setup(*words, product=setup, user="root")
    show_run(words, session, "root")
    show_changes(world, session, passphrase)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--setup", required=True, type=Path)
    parser.add_argument("--app-stub", required=True, type=Path)
    parser.add_argument("--keep", action="store_true", help="keep the worlds' folders")
    arguments = parser.parse_args()

    root = Path(tempfile.mkdtemp(prefix="talvo-demo-"))
    print(bold("Talvo Backup Agent · Setup in a macOS-shaped world"))
    print(dim(f"  worlds in {root}; the agent at {AGENT_EXECUTABLE}"))
    try:
        example_words(root, arguments.setup, arguments.app_stub)
        example_profile(root, arguments.setup, arguments.app_stub)
    except WorldUnavailable as unavailable:
        print(f"demo: {unavailable}", file=sys.stderr)
        return 1
    finally:
        if arguments.keep:
            print(dim(f"The worlds are kept in {root}"))
        else:
            shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""The macOS workflow and the script it runs, checked here since no Mac runs them before a push:
the Actions schema, shellcheck, what they name, pins, the Mac test preset against its build, and
cmake/PinnedSources.cmake, with which its native build fetches library sources, from local files."""

import bz2
import gzip
import hashlib
import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

import yaml

REPOSITORY = Path(__file__).resolve().parents[2]
WORKFLOW = REPOSITORY / ".github" / "workflows" / "macos.yml"
PRESETS = {kind.removesuffix("Presets"): {preset["name"]: preset for preset in presets}
           for kind, presets in json.loads((REPOSITORY / "CMakePresets.json").read_text()).items()
           if kind.endswith("Presets")}
STEPS = [step for job in yaml.safe_load(WORKFLOW.read_text())["jobs"].values()
         for step in job["steps"]]
SCRIPTS = {step.get("name", step["run"]): step["run"] for step in STEPS if "run" in step}


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


class WorkflowTest(unittest.TestCase):
    def test_the_actions_schema_and_shellcheck_accept_it_and_the_scenario_script(self):
        # CMake names scripts/install-deps' action-validator.
        result = run(os.environ["TALVO_ACTION_VALIDATOR"], str(WORKFLOW))
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        # The script with the parts it sources in their place, so that shellcheck sees where each
        # name is set; the steps as they run, under bash -eo pipefail, an expression one word.
        on_mac = re.sub(r'^# shellcheck source=.*\n\. "\$parts/([\w.-]+)"\n',
                        lambda part: (REPOSITORY / "tests/mac/on-mac" / part[1]).read_text(),
                        (REPOSITORY / "scripts" / "test-on-mac").read_text(), flags=re.M)
        for name, shell, script in [("scripts/test-on-mac", "sh", on_mac)] + [
                (name, "bash", "set -eo pipefail\n" + re.sub(r"\$\{\{.*?\}\}", "expression", step))
                for name, step in SCRIPTS.items()]:
            result = run("shellcheck", "-s", shell, "-", input=script)
            self.assertEqual((result.returncode, result.stdout), (0, ""), name)

    def test_what_it_names_exists_and_is_pinned(self):
        scripts = "\n".join(SCRIPTS.values())
        kinds = {"cmake": "configure", "cmake --build": "build", "ctest": "test"}
        named = re.findall(r"\b(cmake --build|cmake|ctest) --preset (\S+)", scripts)
        self.assertTrue(named)
        self.assertEqual([pair for pair in named if pair[1] not in PRESETS[kinds[pair[0]]]], [])
        folders = re.findall(r"(?:--test-dir|--install) (build/[^/\s]+)", scripts)
        self.assertLessEqual({"${sourceDir}/" + folder for folder in folders},
                             {preset.get("binaryDir") for preset in PRESETS["configure"].values()})
        for program in re.findall(r"(?<![\w/])(scripts/[\w-]+)", scripts):
            self.assertTrue(os.access(REPOSITORY / program, os.X_OK), program)
        for requirement in re.findall(r"pip\"? install (?:--\S+ )*\"?([^\"\s]+)", scripts):
            self.assertIn("==", requirement)
        for uses in (step["uses"] for step in STEPS if "uses" in step):
            self.assertRegex(uses, r"^[\w-]+/[\w-]+@(v\d+(\.\d+)*|[0-9a-f]{40})$")

    def test_the_native_build_takes_the_cross_builds_releases(self):
        tags = re.findall(r"github\.com/[\w-]+/([\w-]+)/archive/refs/tags/v?([\d.]+)\.tar",
                          (REPOSITORY / "cmake" / "MacNativeDependencies.cmake").read_text())
        cross = {name: run("dpkg-query", "-W", "-f=${source:Upstream-Version}", package).stdout
                 for name, package in (("utf8proc", "libutf8proc-dev"),
                                       ("json", "nlohmann-json3-dev"))}
        cross["libplist"] = re.search(r'plist_source_version="([\d.]+)-',
                                      (REPOSITORY / "scripts/install-macos-deps").read_text())[1]
        self.assertEqual(dict(tags), cross)

    def test_the_mac_test_preset_runs_the_tests_of_the_targets_the_mac_builds(self):
        """Or the Mac run fails on tests it did not build. An unbuilt tree lists every GoogleTest
        program as <target>_NOT_BUILT: the preset's filter there shows what the Mac would run."""
        build = self.enterContext(tempfile.TemporaryDirectory(prefix="talvo-mac-preset-"))
        for name in ("macos-native", "macos-native-setup"):  # one tree, configured again
            app = PRESETS["configure"][name].get("cacheVariables", {}).get("TALVO_BUILD_APP", "ON")
            run("cmake", "-S", str(REPOSITORY), "-B", build, "-G", "Ninja",
                f"-DTALVO_BUILD_APP={app}", check=True)
            test = PRESETS["test"][name]
            exclude = (test if "filter" in test else PRESETS["test"][test["inherits"]])[
                "filter"]["exclude"]
            listing = run("ctest", "--test-dir", build, "--show-only=json-v1",
                          "-LE", exclude["label"], "-E", exclude["name"], check=True).stdout
            ran = {test["name"].removesuffix("_NOT_BUILT") for test in json.loads(listing)["tests"]}
            targets = set(PRESETS["build"][name]["targets"])
            # Tests that are scripts need no build.
            self.assertEqual(ran - targets, {"packaging_distribution", "include_layering"}, name)
            # The programs, and the test the workflow runs on its own under German.
            self.assertEqual(targets - ran, {"Setup", "AgentInstaller", "TranslationTests"}
                             & targets, name)


class PinnedSourceTest(unittest.TestCase):
    def test_only_the_pinned_stream_is_unpacked_and_kept_until_the_pin_changes(self):
        work = Path(self.enterContext(tempfile.TemporaryDirectory(prefix="talvo-pinned-")))
        (work / "pkg-1.0").mkdir()

        def tar_stream(text):
            """A tar stream of one file, a.txt, in one top folder."""
            (work / "pkg-1.0" / "a.txt").write_text(text)
            return Path(shutil.make_archive(work / "stream", "tar", work, "pkg-1.0")).read_bytes()

        first, third = tar_stream("first"), tar_stream("third")
        for name, content in (("evil", gzip.compress(tar_stream("evil"))),
                              ("first", bz2.compress(first)), ("third", gzip.compress(third))):
            (work / name).write_bytes(content)
        old, new = hashlib.sha256(first).hexdigest(), hashlib.sha256(third).hexdigest()
        folder = work / "sources" / "pkg"
        for pin, urls, expected in (
                (old, "evil", (1, False)),
                (old, "evil first", (0, "first")),  # bzip2 or gzip, whichever a URL serves
                (new, "missing third", (0, "third")),  # a new pin replaces the folder
                (old, "missing", (0, "first"))):  # the kept tarball serves, though no URL answers
            (work / "driver.cmake").write_text(
                f"include({REPOSITORY}/cmake/PinnedSources.cmake)\ntalvo_pinned_source({folder} "
                f"{pin} {' '.join((work / url).as_uri() for url in urls.split())})\n")
            result = run("cmake", f"-DTALVO_PINNED_DOWNLOADS={work}/downloads", "-P",
                         work / "driver.cmake")
            unpacked = folder.is_dir() and (folder / "a.txt").read_text()
            self.assertEqual((result.returncode, unpacked), expected, result.stderr)


if __name__ == "__main__":
    unittest.main()

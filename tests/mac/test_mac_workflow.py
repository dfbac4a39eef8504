"""The macOS workflow and the script it runs, checked where they are written, since no Mac runs
them before they are pushed: the workflow against the Actions schema, its shell steps and
scripts/test-on-mac by shellcheck, every preset, folder and script it names against the
repository, its tools pinned, the native build's library releases against the cross-build's, and
the Mac test preset against the tests the Mac build makes."""

import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

import yaml

REPOSITORY = Path(__file__).resolve().parent.parent.parent
WORKFLOW = REPOSITORY / ".github" / "workflows" / "macos.yml"
VALIDATOR = os.environ.get("TALVO_ACTION_VALIDATOR", "")
EXPRESSION = re.compile(r"\$\{\{.*?\}\}")


def presets():
    with open(REPOSITORY / "CMakePresets.json", encoding="utf-8") as f:
        document = json.load(f)
    return {kind: {preset["name"]: preset for preset in document[kind]}
            for kind in ("configurePresets", "buildPresets", "testPresets")}


def script_with_its_parts():
    """scripts/test-on-mac with the parts it sources put in their place, so that shellcheck
    sees each variable and function where it is defined."""
    def part(match):
        text = (REPOSITORY / "tests" / "mac" / "on-mac" / match.group(1)).read_text()
        return text.removeprefix("# shellcheck shell=sh\n")
    script = (REPOSITORY / "scripts" / "test-on-mac").read_text()
    return re.sub(r'^# shellcheck source=.*\n\. "\$parts/([\w.-]+)"\n', part, script,
                  flags=re.MULTILINE)


def debian_upstream_version(package):
    version = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", package],
                             capture_output=True, text=True, check=True).stdout
    return re.sub(r"^\d+:", "", version).split("-")[0]


class WorkflowTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(WORKFLOW, encoding="utf-8") as f:
            cls.workflow = yaml.safe_load(f)
        cls.steps = [(job_name, step) for job_name, job in cls.workflow["jobs"].items()
                     for step in job["steps"]]
        cls.scripts = [(f"{job} / {step.get('name', step['run'])}", step["run"])
                       for job, step in cls.steps if "run" in step]

    def test_the_actions_schema_accepts_it(self):
        self.assertTrue(Path(VALIDATOR).is_file(),
                        "TALVO_ACTION_VALIDATOR must name action-validator (scripts/install-deps)")
        result = subprocess.run([VALIDATOR, str(WORKFLOW)], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_its_shell_steps_and_the_scenario_script_pass_shellcheck(self):
        # Steps run under bash -eo pipefail; an expression stands for one word.
        for name, script in self.scripts:
            with self.subTest(name):
                text = "#!/bin/bash\nset -eo pipefail\n" + EXPRESSION.sub("expression", script)
                result = subprocess.run(["shellcheck", "-s", "bash", "-"], input=text,
                                        capture_output=True, text=True)
                self.assertEqual(result.returncode, 0, result.stdout)
        result = subprocess.run(["shellcheck", "-s", "sh", "-"], input=script_with_its_parts(),
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout)

    def test_what_it_names_exists(self):
        known = presets()
        kinds = {"cmake": "configurePresets", "cmake --build": "buildPresets",
                 "ctest": "testPresets"}
        folders = {preset["binaryDir"].replace("${sourceDir}/", "")
                   for preset in known["configurePresets"].values() if "binaryDir" in preset}
        named = 0
        for name, script in self.scripts:
            for tool, preset in re.findall(r"\b(cmake --build|cmake|ctest) --preset (\S+)",
                                           script):
                named += 1
                self.assertIn(preset, known[kinds[tool]], name)
            for folder in re.findall(r"(?:--test-dir|--install) (build/[^/\s]+)", script):
                self.assertIn(folder, folders, name)
            for program in re.findall(r"(?<![\w/])(scripts/[\w-]+)", script):
                self.assertTrue(os.access(REPOSITORY / program, os.X_OK), f"{name}: {program}")
        self.assertGreater(named, 0)

    def test_actions_and_tools_are_pinned(self):
        for job, step in self.steps:
            if "uses" in step:
                self.assertRegex(step["uses"], r"^[\w-]+/[\w-]+@(v\d+(\.\d+)*|[0-9a-f]{40})$")
        for name in ("QT_VERSION", "AQTINSTALL_VERSION"):
            self.assertRegex(str(self.workflow["env"][name]), r"^\d+(\.\d+)+$")
        for name, script in self.scripts:
            for requirement in re.findall(r"pip\"? install (?:--\S+ )*\"?([^\"\s]+)", script):
                self.assertIn("==", requirement, name)

    def test_the_native_build_takes_the_cross_builds_releases(self):
        text = (REPOSITORY / "cmake" / "MacNativeDependencies.cmake").read_text()
        tags = dict(re.findall(r"github\.com/[\w-]+/([\w-]+)/archive/refs/tags/v?([\d.]+)\.tar",
                               text))
        cross_plist = re.search(r'plist_source_version="([\d.]+)-',
                                (REPOSITORY / "scripts" / "install-macos-deps").read_text())
        self.assertEqual(tags, {"utf8proc": debian_upstream_version("libutf8proc-dev"),
                                "libplist": cross_plist.group(1),
                                "json": debian_upstream_version("nlohmann-json3-dev")})


class MacTestPresetTest(unittest.TestCase):
    """The Mac builds only the targets its build preset lists; its test preset must then run
    every test of those targets and nothing else, or the Mac run fails on tests it did not build.
    In a configured but unbuilt tree every GoogleTest program shows as <target>_NOT_BUILT, so the
    preset's filter applied there shows what the Mac would run."""

    def test_it_runs_the_tests_of_the_targets_the_mac_builds(self):
        known = presets()
        build = tempfile.mkdtemp(prefix="talvo-mac-preset-")
        self.addCleanup(shutil.rmtree, build)
        # One tree, configured again for each preset: a second configure is quick.
        for name in ("macos-native", "macos-native-setup"):
            with self.subTest(name):
                configure = known["configurePresets"][name]
                app = configure.get("cacheVariables", {}).get("TALVO_BUILD_APP", "ON")
                subprocess.run(["cmake", "-S", str(REPOSITORY), "-B", build, "-G", "Ninja",
                                f"-DTALVO_BUILD_APP={app}"], check=True, capture_output=True)
                test = known["testPresets"][name]
                exclude = test.get("filter", known["testPresets"].get(test.get("inherits"), {})
                                   .get("filter"))["exclude"]
                listing = subprocess.run(
                    ["ctest", "--test-dir", build, "--show-only=json-v1",
                     "-LE", exclude["label"], "-E", exclude["name"]],
                    check=True, capture_output=True, text=True).stdout
                run = {test["name"].removesuffix("_NOT_BUILT")
                       for test in json.loads(listing)["tests"]}
                targets = set(known["buildPresets"][name]["targets"])
                # Tests that are scripts need no build.
                self.assertEqual(run - targets, {"packaging_distribution", "include_layering"})
                # The programs, and the test the workflow runs on its own under German.
                self.assertEqual(targets - run, {"Setup", "AgentInstaller", "TranslationTests"}
                                 & targets)


if __name__ == "__main__":
    unittest.main()

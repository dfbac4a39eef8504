"""The macOS workflow and the script it runs, checked here since no Mac runs them before a push:
the Actions schema, shellcheck, what they name, pins, and the Mac test preset against its build."""

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
PRESETS = {kind: {preset["name"]: preset for preset in presets}
           for kind, presets in json.loads((REPOSITORY / "CMakePresets.json").read_text()).items()
           if kind.endswith("Presets")}


def shellcheck(shell, script):
    result = subprocess.run(["shellcheck", "-s", shell, "-"], input=script, capture_output=True,
                            text=True)
    return result.returncode, result.stdout


def debian_upstream_version(package):
    version = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", package],
                             capture_output=True, text=True, check=True).stdout
    return re.sub(r"^\d+:", "", version).split("-")[0]


class WorkflowTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        jobs = yaml.safe_load(WORKFLOW.read_text())["jobs"]
        cls.steps = [step for job in jobs.values() for step in job["steps"]]
        cls.scripts = [(step.get("name", step["run"]), step["run"])
                       for step in cls.steps if "run" in step]

    def test_the_actions_schema_and_shellcheck_accept_it_and_the_scenario_script(self):
        validator = os.environ.get("TALVO_ACTION_VALIDATOR", "")
        self.assertTrue(Path(validator).is_file(),
                        "TALVO_ACTION_VALIDATOR must name action-validator (scripts/install-deps)")
        result = subprocess.run([validator, str(WORKFLOW)], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        # Steps run under bash -eo pipefail; an expression stands for one word.
        for name, script in self.scripts:
            script = re.sub(r"\$\{\{.*?\}\}", "expression", script)
            self.assertEqual(shellcheck("bash", "set -eo pipefail\n" + script), (0, ""), name)
        # The parts the script sources, in their place: shellcheck sees where each name is set.
        script = re.sub(r'^# shellcheck source=.*\n\. "\$parts/([\w.-]+)"\n',
                        lambda part: (REPOSITORY / "tests/mac/on-mac" / part[1]).read_text(),
                        (REPOSITORY / "scripts" / "test-on-mac").read_text(), flags=re.M)
        self.assertEqual(shellcheck("sh", script), (0, ""))

    def test_what_it_names_exists_and_is_pinned(self):
        kinds = {"cmake": "configurePresets", "cmake --build": "buildPresets",
                 "ctest": "testPresets"}
        folders = {preset["binaryDir"].replace("${sourceDir}/", "")
                   for preset in PRESETS["configurePresets"].values() if "binaryDir" in preset}
        named = 0
        for name, script in self.scripts:
            for tool, preset in re.findall(r"\b(cmake --build|cmake|ctest) --preset (\S+)", script):
                named += 1
                self.assertIn(preset, PRESETS[kinds[tool]], name)
            for folder in re.findall(r"(?:--test-dir|--install) (build/[^/\s]+)", script):
                self.assertIn(folder, folders, name)
            for program in re.findall(r"(?<![\w/])(scripts/[\w-]+)", script):
                self.assertTrue(os.access(REPOSITORY / program, os.X_OK), f"{name}: {program}")
            for requirement in re.findall(r"pip\"? install (?:--\S+ )*\"?([^\"\s]+)", script):
                self.assertIn("==", requirement, name)
        self.assertGreater(named, 0)
        for uses in (step["uses"] for step in self.steps if "uses" in step):
            self.assertRegex(uses, r"^[\w-]+/[\w-]+@(v\d+(\.\d+)*|[0-9a-f]{40})$")

    def test_the_native_build_takes_the_cross_builds_releases(self):
        text = (REPOSITORY / "cmake" / "MacNativeDependencies.cmake").read_text()
        tags = dict(re.findall(r"github\.com/[\w-]+/([\w-]+)/archive/refs/tags/v?([\d.]+)\.tar",
                               text))
        cross_plist = re.search(r'plist_source_version="([\d.]+)-',
                                (REPOSITORY / "scripts" / "install-macos-deps").read_text())
        self.assertEqual(tags, {"utf8proc": debian_upstream_version("libutf8proc-dev"),
                                "libplist": cross_plist.group(1),
                                "json": debian_upstream_version("nlohmann-json3-dev")})

    def test_the_mac_test_preset_runs_the_tests_of_the_targets_the_mac_builds(self):
        """Or the Mac run fails on tests it did not build. In a configured but unbuilt tree every
        GoogleTest program shows as <target>_NOT_BUILT: the preset's filter there shows what the
        Mac would run."""
        build = tempfile.mkdtemp(prefix="talvo-mac-preset-")
        self.addCleanup(shutil.rmtree, build)
        for name in ("macos-native", "macos-native-setup"):  # one tree, configured again
            with self.subTest(name):
                app = PRESETS["configurePresets"][name].get("cacheVariables", {}).get(
                    "TALVO_BUILD_APP", "ON")
                subprocess.run(["cmake", "-S", str(REPOSITORY), "-B", build, "-G", "Ninja",
                                f"-DTALVO_BUILD_APP={app}"], check=True, capture_output=True)
                test = PRESETS["testPresets"][name]
                exclude = (test if "filter" in test else PRESETS["testPresets"][test["inherits"]])[
                    "filter"]["exclude"]
                listing = subprocess.run(
                    ["ctest", "--test-dir", build, "--show-only=json-v1",
                     "-LE", exclude["label"], "-E", exclude["name"]],
                    check=True, capture_output=True, text=True).stdout
                run = {test["name"].removesuffix("_NOT_BUILT")
                       for test in json.loads(listing)["tests"]}
                targets = set(PRESETS["buildPresets"][name]["targets"])
                # Tests that are scripts need no build.
                self.assertEqual(run - targets, {"packaging_distribution", "include_layering"})
                # The programs, and the test the workflow runs on its own under German.
                self.assertEqual(targets - run, {"Setup", "AgentInstaller", "TranslationTests"}
                                 & targets)


if __name__ == "__main__":
    unittest.main()

"""Runs the Updater binary (UPDATER_BIN) with a private temporary HOME."""

import os
import pathlib
import subprocess
import tempfile
import unittest
from dataclasses import dataclass

EXPECTED_DIR = pathlib.Path(__file__).resolve().parent / "expected"
BANNER = "Updater (Version: 2.11.1 Nov  8 2024)\n"


@dataclass
class Run:
    code: int
    stdout: str
    stderr: str


def expected_text(name):
    """A usage text as the user must see it, from tests/cli/expected/<name>.txt."""
    return (EXPECTED_DIR / f"{name}.txt").read_text()


def brief_usage():
    return expected_text("brief_usage")


def full_usage():
    return "".join(expected_text(n) for n in ("brief_usage", "parameters", "extended", "samples"))


def run_updater(args, home=None, env=None, timeout=30):
    """Runs Updater with args; home=None keeps HOME unset, env adds or (value None) removes
    variables."""
    environment = {k: v for k, v in os.environ.items() if k != "HOME"}
    if home is not None:
        environment["HOME"] = str(home)
    for key, value in (env or {}).items():
        if value is None:
            environment.pop(key, None)
        else:
            environment[key] = value
    completed = subprocess.run(
        [os.environ["UPDATER_BIN"], *args],
        env=environment,
        stdin=subprocess.DEVNULL,
        capture_output=True,
        timeout=timeout,
    )
    return Run(completed.returncode, completed.stdout.decode(), completed.stderr.decode())


class UpdaterTestCase(unittest.TestCase):
    """Gives every test its own HOME, and run() to call the binary with it."""

    def setUp(self):
        self._home = tempfile.TemporaryDirectory(prefix="qm-home-")
        self.home = pathlib.Path(self._home.name)
        self.addCleanup(self._home.cleanup)

    @property
    def store_root(self):
        return self.home / ".veltrona" / "updater"

    def run_updater(self, *args, **kwargs):
        kwargs.setdefault("home", self.home)
        return run_updater(list(args), **kwargs)

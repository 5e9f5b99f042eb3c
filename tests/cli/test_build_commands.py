"""-B, -L and -G through the real binary against the reference update server on 127.0.0.1."""

import os
import pathlib
import resource
import signal
import subprocess
import sys
import tempfile
import threading
import unittest

from updater_cli import BANNER, UpdaterTestCase

sys.path.insert(0, os.environ["QM_PEERS_DIR"])
import birdfile  # noqa: E402
import update_server  # noqa: E402

SERIAL = "40F5849A"
SETTINGS_TIME_KEYS = ("CREATED_TIME", "LAST_DOWNLOAD_DATE", "UPDATED_TIME")


class BuildCommandsTest(UpdaterTestCase):
    def setUp(self):
        super().setUp()
        self._served = tempfile.TemporaryDirectory(prefix="qm-served-")
        self.addCleanup(self._served.cleanup)
        served = pathlib.Path(self._served.name)
        self.birds = {}
        for build, version in (("1000", "1.2.3"), ("1001", "1.10.0")):
            data = birdfile.make_bird(version=version, serial=int(SERIAL, 16))
            (served / f"{build}.bird").write_bytes(data)
            self.birds[build] = data
        catalogue = update_server.Catalogue({"devices": {SERIAL: {
            "current": "1001", "fw": "FW-1",
            "builds": {"1000": "1.2.3", "1001": "1.10.0", "1002": "1.9.255-long-version-text"},
            "birds": {b: {"path": f"{b}.bird"} for b in self.birds}}}}, str(served))
        self.log = served / "requests.log"
        self.server = update_server.UpdateServer(0, catalogue, str(self.log))
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.addCleanup(self.server.server_close)
        self.addCleanup(self.server.shutdown)
        self.url = "http://127.0.0.1:%d/cgi/u" % self.server.server_address[1]

    def updater(self, *args, **kwargs):
        return self.run_updater(*args, "-d", SERIAL, "-u", self.url, **kwargs)

    def device_dir(self):
        return self.store_root / SERIAL

    def settings(self):
        path = self.device_dir() / ".settings"
        if not path.exists():
            return {}
        return dict(line.split("=", 1) for line in path.read_text().splitlines() if "=" in line)

    def requests(self):
        return self.log.read_text().splitlines() if self.log.exists() else []

    def assert_nothing_stored(self):
        stored = sorted(p.name for p in self.device_dir().iterdir()) if self.device_dir().exists() \
            else []
        self.assertEqual([n for n in stored if n != ".settings"], [])
        self.assertNotIn("LATEST_DOWNLOAD", self.settings())

    def test_get_stores_the_current_build_and_records_it(self):
        run = self.updater("-G")
        self.assertEqual(run.code, 0, run.stderr)
        self.assertEqual(run.stdout, BANNER + "Retrieving firmware for device with serial number "
                         "40F5849A\nNo build specified\nUsing Latest build\nRetrieving build 1001\n"
                         "Validating build 1001 with server\nBuild 1001 is valid\n")
        self.assertEqual((self.device_dir() / "1001.bird").read_bytes(), self.birds["1001"])
        settings = self.settings()
        self.assertEqual(settings["LATEST_DOWNLOAD"], "1001.bird")
        for key in SETTINGS_TIME_KEYS:
            self.assertIn(key, settings)
        ops = [r.split("op=")[1].split("&")[0] for r in self.requests()]
        self.assertEqual(ops, ["hi", "qu", "builds", "bird"])
        self.assertTrue(self.requests()[-1].endswith(
            "bld=1001&fw=FW-1&no_cal=false&op=bird&sn=40F5849A&"), self.requests()[-1])

    def test_build_list_is_sorted_newest_first_and_cut_to_fifteen(self):
        run = self.updater("-B")
        self.assertEqual(run.code, 0, run.stderr)
        row = "%-15.15s\t%-15.15s\n"
        self.assertEqual(run.stdout, BANNER + "Build List for device [40F5849A]:\n\n"
                         + row % ("Build", "Version") + row % ("1001", "1.10.0")
                         + row % ("1002", "1.9.255-long-version-text") + row % ("1000", "1.2.3"))

    def test_local_list_shows_stored_builds_and_other_files(self):
        self.assertEqual(self.updater("-G").code, 0)
        (self.device_dir() / "notes.txt").write_text("kept by hand\n")
        run = self.updater("-L")
        self.assertEqual(run.code, 0, run.stderr)
        lines = run.stdout.splitlines()
        self.assertIn("%-15.15s\t%-15.15s" % ("1001", "1.10.0"), lines)
        self.assertIn("%-15.15s\t%-15.15s" % ("notes.txt", ""), lines)

    def test_unlisted_build_is_refused_unless_overridden(self):
        run = self.updater("-G", "-b", "999")
        self.assertEqual(run.code, 1)
        self.assertIn("No valid build 999\n", run.stderr)
        self.assert_nothing_stored()
        run = self.updater("-G", "-b", "999", "-OVERRIDE")
        self.assertIn("Override specified, skipping validation of build 999\n", run.stdout)
        self.assertTrue(any("bld=999&" in r for r in self.requests()))
        self.assertEqual(run.code, 1)  # the server has no such file
        self.assert_nothing_stored()

    def test_unreachable_server(self):
        dead = "http://127.0.0.1:9/cgi/u"
        run = self.run_updater("-B", "-d", SERIAL, "-u", dead)
        self.assertEqual(run.code, 0)
        self.assertEqual(run.stderr, f"Server request failed for {dead}\n")
        self.assertEqual(run.stdout, BANNER + "No builds found for device [40F5849A]\n")
        run = self.run_updater("-G", "-d", SERIAL, "-u", dead)
        self.assertEqual(run.code, 1)
        self.assertIn(f"Server request failed for {dead}\n", run.stderr)

    def test_bad_payloads_store_and_record_nothing(self):
        for fault in ({"mode": "garbled"}, {"mode": "empty"}, {"mode": "drop"},
                      {"mode": "status", "status": 500}):
            with self.subTest(fault=fault):
                self.server.catalogue.set_fault("bird", fault)
                run = self.updater("-G")
                self.assertEqual(run.code, 1, run.stdout)
                self.assertIn("Failed to retrieve a valid BIRD file\n", run.stderr)
                self.assert_nothing_stored()

    def test_stalled_server_gives_up_within_the_bound(self):
        self.server.catalogue.set_fault("bird", {"mode": "stall", "seconds": 60})
        run = self.updater("-G", env={"UPDATER_STALL_SECONDS": "1"}, timeout=20)
        self.assertEqual(run.code, 1)
        self.assertIn("Download failed\n", run.stderr)
        self.assert_nothing_stored()

    def test_failed_write_leaves_no_file_and_no_record(self):
        # The device directory and its attribute file fit in the limit; the BIRD file does not.
        def limit_file_size():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (1024, 1024))

        environment = dict(os.environ, HOME=str(self.home))
        completed = subprocess.run(
            [os.environ["UPDATER_BIN"], "-G", "-d", SERIAL, "-u", self.url],
            env=environment, stdin=subprocess.DEVNULL, capture_output=True, timeout=30,
            preexec_fn=limit_file_size)
        self.assertEqual(completed.returncode, 1)
        self.assertIn(b"Failed to write file with ", completed.stderr)
        self.assert_nothing_stored()


if __name__ == "__main__":
    unittest.main()

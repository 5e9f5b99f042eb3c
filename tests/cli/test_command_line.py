"""The command line through the real binary: usage texts, exit codes and output channels."""

import unittest

from updater_cli import BANNER, UpdaterTestCase, brief_usage, full_usage

UNAVAILABLE = "is not available in this build of Updater"


class UsageTexts(UpdaterTestCase):
    def test_no_arguments_print_banner_and_brief_usage(self):
        run = self.run_updater()
        self.assertEqual((run.code, run.stdout, run.stderr), (0, BANNER, brief_usage()))
        self.assertFalse(self.store_root.exists())

    def test_every_help_spelling_prints_all_four_texts(self):
        for words in (["-h"], ["-H"], ["--help"], ["--h"], ["--he"], ["--hel"], ["-h", "-Y"],
                      ["-D", "-h"], ["-d", "0", "-h"]):
            with self.subTest(words=words):
                run = self.run_updater(*words)
                self.assertEqual((run.code, run.stdout), (0, BANNER))
                self.assertTrue(run.stderr.endswith(full_usage()), run.stderr)

    def test_words_that_are_no_command_print_brief_usage(self):
        for words in (["/h"], ["plain"], ["-Z"], ["-"], ["--"], ["-T"], ["-h=1"], ["-n"],
                      ["-OVERRIDE"], ["-d", "40F5849A"], ["-C=1"]):
            with self.subTest(words=words):
                run = self.run_updater(*words)
                self.assertEqual((run.code, run.stdout, run.stderr), (0, BANNER, brief_usage()))


class ParseErrors(UpdaterTestCase):
    CASES = [
        (["-d", "0x"], "Invalid serial number obtained from argument []"),
        (["-d", "0"], "Invalid serial number obtained from argument [0]"),
        (["-d", "0X0"], "Invalid serial number obtained from argument [0]"),
        (["-d", "40F5849G"], "Invalid serial number obtained from argument [40F5849G]"),
        (["-d="], "Invalid serial number obtained from argument []"),
        (["-r", "xyz"], "Invalid router serial number obtained from argument [xyz]"),
        (["-r", "0x0"], "Invalid router serial number obtained from argument [0]"),
        (["-t", "tcp"],
         "Invalid transport type:[tcp]\nMust be one of the following: USB, TCPIP, RECOVER"),
        (["-t=serial"],
         "Invalid transport type:[serial]\nMust be one of the following: USB, TCPIP, RECOVER"),
        (["-Y"], "Unhandled command: [-Y]"),
    ]

    def test_rejected_words_print_their_message_then_brief_usage(self):
        for words, message in self.CASES:
            with self.subTest(words=words):
                run = self.run_updater(*words, "-C")
                self.assertEqual((run.code, run.stdout), (1, BANNER))
                self.assertEqual(run.stderr, message + "\n" + brief_usage())
                self.assertFalse(self.store_root.exists())

    def test_parsing_goes_on_after_a_rejection(self):
        run = self.run_updater("-d", "zz", "-r", "qq", "-G")
        self.assertEqual(run.code, 1)
        self.assertEqual(
            run.stderr,
            "Invalid serial number obtained from argument [zz]\n"
            "Invalid router serial number obtained from argument [qq]\n" + brief_usage())


class RequiredArguments(UpdaterTestCase):
    CASES = [
        (["-G"], "-G must specify a specific device via -d\n--help for usage information\n"),
        (["-G", "-d"], "-G must specify a specific device via -d\n--help for usage information\n"),
        (["-U"], "Must specify the specific device to be updated\n"),
        (["-U", "-t", "USB"], "Must specify the specific device to be updated\n"),
        (["-B"], "Error must supply a serial number for the List Builds command\n" + brief_usage()),
        (["-L"],
         "Error must supply a serial number for the List Local Builds command\n" + brief_usage()),
        (["-N"], "Must specify the serial port used for connecting\n"),
        (["-N", "-s"], "Must specify the serial port used for connecting\n"),
    ]

    def test_missing_arguments_fail_with_their_message(self):
        for words, expected_stderr in self.CASES:
            with self.subTest(words=words):
                run = self.run_updater(*words)
                self.assertEqual((run.code, run.stdout, run.stderr),
                                 (1, BANNER, expected_stderr))
                self.assertTrue(self.store_root.is_dir())


class CommandsWithoutAction(UpdaterTestCase):
    def test_they_prepare_the_store_and_exit_quietly(self):
        for words in (["-C"], ["-I"], ["-Z", "1"], ["-Z", "anything"], ["-Z=x"], ["-I", "-C"]):
            with self.subTest(words=words):
                run = self.run_updater(*words)
                self.assertEqual((run.code, run.stdout, run.stderr), (0, BANNER, ""))
                self.assertTrue(self.store_root.is_dir())

    def test_storage_directory_option_moves_the_store(self):
        for words, root in (
            (["-i", str(self.home / "x" / "y")], self.home / "x" / "y" / "updater"),
            (["-i=" + str(self.home / "eq")], self.home / "eq" / "updater"),
            (["-i", str(self.home / "slash") + "/"], self.home / "slash" / "updater"),
        ):
            with self.subTest(words=words):
                run = self.run_updater("-C", *words)
                self.assertEqual((run.code, run.stderr), (0, ""))
                self.assertTrue(root.is_dir())
        self.assertFalse(self.store_root.exists())

    def test_relative_storage_directory_is_below_the_working_directory(self):
        import os
        import subprocess
        env = dict(os.environ, HOME=str(self.home))
        completed = subprocess.run([os.environ["UPDATER_BIN"], "-C", "-i", "rel"], cwd=self.home,
                                   env=env, capture_output=True, stdin=subprocess.DEVNULL)
        self.assertEqual(completed.returncode, 0)
        self.assertTrue((self.home / "rel" / "updater").is_dir())

    def test_store_root_that_cannot_be_made_fails(self):
        blocker = self.home / "file"
        blocker.write_text("not a directory")
        run = self.run_updater("-C", "-i", str(blocker))
        self.assertEqual((run.code, run.stdout), (1, BANNER))
        self.assertEqual(run.stderr, f"Could not find updater directory at {blocker}/updater\n")
        self.assertEqual(blocker.read_text(), "not a directory")

    def test_missing_home_fails_with_a_debug_line_only(self):
        for home in (None, ""):
            with self.subTest(home=home):
                quiet = self.run_updater("-C", home=home)
                self.assertEqual((quiet.code, quiet.stdout, quiet.stderr), (1, BANNER, ""))
                loud = self.run_updater("-C", "-X", "0x10000", home=home)
                self.assertEqual(loud.code, 1)
                self.assertIn("Updater: FailedvDirectory_GetHomeDirectory()==> 3\n", loud.stderr)

    def test_home_is_not_needed_with_a_storage_directory(self):
        run = self.run_updater("-C", "-i", str(self.home / "s"), home=None)
        self.assertEqual((run.code, run.stderr), (0, ""))


# Nothing listens here: -G must never reach the default server from a test.
UNREACHABLE = "http://127.0.0.1:9/cgi/u"


class CommandOrder(UpdaterTestCase):
    def test_commands_not_in_this_build_report_it_and_fail(self):
        cases = [
            (["-D"], "(-D)"),
            (["-D", "-t", "TCPIP", "-r", "D272031D"], "(-D)"),
            (["-D", "-U", "-d", "1"], "(-D)"),
            (["-U", "-d", "40F5849A"], "(-U)"),
            (["-U", "-t", "RECOVER"], "(-U -t RECOVER)"),
            (["-U", "-t", "RECOVER", "-s", "/dev/ttyUSB0"], "(-U -t RECOVER)"),
        ]
        for words, command in cases:
            with self.subTest(words=words):
                run = self.run_updater(*words)
                self.assertEqual((run.code, run.stdout), (1, BANNER))
                lines = run.stderr.splitlines()
                self.assertEqual(len(lines), 1, run.stderr)
                self.assertIn(command, lines[0])
                self.assertIn(UNAVAILABLE, lines[0])

    def test_get_build_announces_the_device_and_build_first(self):
        cases = [
            (["-d", "40F5849A"], "40F5849A", "No build specified\nUsing Latest build\n"),
            (["-d", "0x40F5849A"], "40F5849A", "No build specified\nUsing Latest build\n"),
            (["-d=40f5849a", "-b", "99528558"], "40F5849A", "Retrieving firmware build 99528558\n"),
            (["-d", "1", "-b", "12ab"], "00000001", "Retrieving firmware build 0\n"),
            (["-d", "1", "-b", "007"], "00000001", "Retrieving firmware build 7\n"),
        ]
        for words, serial, build_lines in cases:
            with self.subTest(words=words):
                run = self.run_updater("-G", "-u", UNREACHABLE, *words)
                self.assertEqual(run.code, 1)
                self.assertEqual(
                    run.stdout,
                    BANNER + f"Retrieving firmware for device with serial number {serial}\n"
                    + build_lines)
                self.assertEqual(run.stderr, f"Server request failed for {UNREACHABLE}\n")

    def test_fingerprint_and_download_run_before_the_exclusive_commands(self):
        run = self.run_updater("-U", "-d", "5", "-G", "-N", "-s", "/dev/ttyUSB0", "-u",
                               UNREACHABLE)
        self.assertEqual(run.code, 1)
        lines = run.stderr.splitlines()
        self.assertIn("(-N)", lines[0])
        self.assertEqual(lines[1], "Got no response from chip")
        self.assertEqual(lines[2], f"Server request failed for {UNREACHABLE}")
        # The update needs the build that failed to download, so it does not start.
        self.assertEqual(len(lines), 3)

    def test_a_refused_argument_word_is_read_again(self):
        run = self.run_updater("-d", "-G")
        self.assertEqual(run.code, 1)
        self.assertEqual(run.stderr,
                         "-G must specify a specific device via -d\n--help for usage information\n")

    def test_paths_starting_with_slash_are_arguments(self):
        run = self.run_updater("-N", "-s", "/dev/ttyUSB0")
        self.assertIn("(-N)", run.stderr)
        self.assertNotIn("Must specify the serial port", run.stderr)


class DebugOutput(UpdaterTestCase):
    def parameters_text(self, words):
        import os
        lines = ["", "Application parameters:[Updater]"]
        lines += [f"\t[{w}]" for w in [os.environ["UPDATER_BIN"], *words]]
        return "\n".join(lines) + "\n"

    def test_without_a_mask_nothing_is_written(self):
        run = self.run_updater("-C", "-d", "0x40F5849A")
        self.assertEqual(run.stderr, "")

    def test_application_mask_lists_every_word(self):
        for value in ("0x10000", "65536", "0X10000"):
            with self.subTest(value=value):
                words = ["-X", value, "-C"]
                run = self.run_updater(*words)
                self.assertEqual((run.code, run.stderr), (0, self.parameters_text(words)))

    def test_masks_accumulate_and_apply_from_where_they_stand(self):
        words = ["-d", "0x1", "-X", "1", "-r", "0x2", "-X", "0x10000", "-C"]
        run = self.run_updater(*words)
        self.assertEqual(run.code, 0)
        self.assertEqual(run.stderr, "Discarding '0x' router serial number prefix\n"
                         + self.parameters_text(words))

    def test_other_bits_hide_other_families(self):
        run = self.run_updater("-X", "0x8", "-d", "0x40F5849A", "-C")
        self.assertEqual((run.code, run.stderr), (0, ""))

    def test_unprocessed_characters_are_reported_and_not_applied(self):
        run = self.run_updater("-X", "65536abc", "-C")
        self.assertEqual((run.code, run.stdout), (0, BANNER))
        self.assertEqual(run.stderr,
                         'Invalid format for "-X" parameter, unprocessed characters [abc]\n')
        run = self.run_updater("-X=0x1zz", "-d", "0x5", "-C")
        self.assertEqual(run.stderr,
                         'Invalid format for "-X" parameter, unprocessed characters [zz]\n')

    def test_help_writes_no_parameter_list(self):
        run = self.run_updater("-X", "0x10000", "-h")
        self.assertTrue(run.stderr.endswith(full_usage()))
        self.assertNotIn("Application parameters", run.stderr)


if __name__ == "__main__":
    unittest.main()

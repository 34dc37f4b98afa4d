#!/usr/bin/python3
"""tav-host's commands as a person runs them: the Linux build, or with --wine tav-host.exe under
wine, driven from Linux.

The tour prints tav_host_tour.txt (but for the library's name); `call` answers the four routes
and refuses with the documented exit codes; `serve` claims its lockfile, answers curl with basic
authentication on the loopback, serves its page, saves to its data file and holds it against
another tav-host, refuses a second server and a link at the lockfile, and on Ctrl-C (SIGINT,
which wine hands to the console's handler) stops with 0 and removes the lockfile.

    /usr/bin/python3 tav_host_commands_test.py --build-dir build/win32 --wine

Paths are given as Linux paths: under wine they name the same files on drive Z:, the drive of
the folder the test runs in.
"""
import argparse
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

from tav_host_page_test import Served

FLAGS = "/tav-banners/v1/current-sondar/flags"
EQUIPPED = "/tav-banners/v1/current-sondar/flags/equipped"
FRAME = "/tav-banners/v1/current-sondar/frames/equipped"
STORM = '{"theme": "Storm", "level": "3", "seasonId": "5", "earnedDateIso8601": ""}'
PATIENCE = 60  # seconds for any one command; wine starting cold is slow
TOOL = []  # the command that runs tav-host, set by main
LIBRARY = "libtav_banners.so"


def run(*args):
    """(exit code, standard output, standard error) of one command, line ends as on Linux."""
    done = subprocess.run(TOOL + list(args), capture_output=True, text=True, timeout=PATIENCE)
    return done.returncode, done.stdout, done.stderr


def curl(served, path, *options, password=None):
    """(status, body) of one request to a serving tav-host."""
    credentials = ["-u", "tav:" + password] if password else []
    done = subprocess.run(["curl", "-sS", "-w", "\n%{http_code}", *credentials, *options,
                           served.url + path], capture_output=True, text=True, timeout=PATIENCE)
    body, _, status = done.stdout.rpartition("\n")
    return int(status), body


class Commands(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def file(self, name, text=None):
        path = os.path.join(self.folder.name, name)
        if text is not None:
            with open(path, "w") as file:
                file.write(text)
        return path

    def test_tour_prints_what_it_prints_on_linux(self):
        code, out, err = run("tour")
        with open(os.path.join(os.path.dirname(__file__), "tav_host_tour.txt")) as expected:
            self.assertEqual(out.replace(LIBRARY, "libtav_banners.so"), expected.read())
        self.assertEqual((code, err), (0, "503 Banner equipping is not enabled.\n"))

    def test_call_answers_the_routes_and_refuses_with_the_exit_codes(self):
        cases = [  # arguments, exit code, start of standard output, part of standard error
            (["GET", FLAGS], 0, '200\n[\n  {\n    "earnedDateIso8601"', ""),
            (["GET", EQUIPPED], 0, '200\n{\n  "earnedDateIso8601": "2025-07-19T21:10:00Z"', ""),
            (["GET", FRAME], 0, '200\n{\n  "level": "3"', ""),
            (["PUT", EQUIPPED, "--body", STORM], 0, '200\n{\n  "earnedDateIso8601": "2025-11', ""),
            (["GET", "/tav-banners/v1/nothing"], 3, "", "404 Invalid function"),
            (["GET"], 2, "", "path is required"),
            (["PUT", EQUIPPED, "--body", "@" + self.folder.name], 2, "",
             "cannot read the body file"),
            (["GET", FLAGS, "--library", self.file("none.dll")], 4, "", "cannot load"),
            (["GET", FLAGS, "--data", self.file("bad.json", "{")], 5, "", "bad.json: sondar data"),
        ]
        for args, code, out, err in cases:
            with self.subTest(args=args):
                result = run("call", *args)
                self.assertEqual(result[0], code, result)
                self.assertTrue(result[1].startswith(out), result)
                self.assertIn(err, result[2])

    def test_serve_answers_curl_serves_its_page_and_stops_on_ctrl_c(self):
        data = self.file("sondar.json", run("sample")[1])
        served = Served(TOOL, self.folder.name, ["--data", data])
        self.addCleanup(served.log.close)
        try:
            password = served.lockfile_fields()[3]
            self.assertEqual(curl(served, EQUIPPED)[0], 401)
            status, flag = curl(served, EQUIPPED, password=password)
            self.assertEqual((status, json.loads(flag)["theme"]), (200, "Tide"))
            status, page = curl(served, "/", password=password)
            self.assertEqual(status, 200)
            self.assertIn("<title>tav-host: banner locker</title>", page)
            self.assertEqual(curl(served, "/tav-host/page/page.js", password=password)[0], 200)
            status, _ = curl(served, EQUIPPED, "-X", "PUT", "-H", "Content-Type: application/json",
                             "--data-binary", STORM, password=password)
            self.assertEqual(status, 200)
            with open(data) as saved:
                equipped = json.load(saved)["profile"]["equippedBannerFlag"]
                self.assertEqual(json.loads(equipped)["theme"], "Storm")

            victim = self.file("victim", "precious\n")
            os.symlink(victim, self.file("link.lock"))
            shared = self.file("shared")
            os.mkdir(shared, 0o777)
            os.chmod(shared, 0o777)
            refused = [  # what a second tav-host is given, exit code, part of standard error
                (["call", "GET", FLAGS, "--data", data], 5, "is in use by another tav-host"),
                (["serve", "--lockfile", served.lockfile], 6,
                 "belongs to tav-host process " + served.lockfile_fields()[1]),
                (["serve", "--lockfile", self.file("link.lock")], 6, "is a symbolic link"),
                (["serve", "--lockfile", os.path.join(shared, "lock")], 6, "others may write"),
            ]
            for args, code, err in refused:
                with self.subTest(args=args):
                    result = run(*args)
                    self.assertEqual(result[0], code, result)
                    self.assertIn(err, result[2])
            with open(victim) as kept:
                self.assertEqual(kept.read(), "precious\n")
        finally:
            served.process.send_signal(signal.SIGINT)
            served.process.wait(PATIENCE)
        self.assertEqual(served.process.returncode, 0, served.output())
        self.assertIn("tav-host stopped", served.output())
        self.assertFalse(os.path.exists(served.lockfile))


def main():
    global LIBRARY
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.environ.get("TAV_BUILD_DIR", "."))
    parser.add_argument("--wine", action="store_true", help="run tav-host.exe under wine")
    arguments, rest = parser.parse_known_args()
    if arguments.wine:
        TOOL.extend(["wine", os.path.join(arguments.build_dir, "tav-host.exe")])
        LIBRARY = "tav_banners.dll"
    else:
        TOOL.append(os.path.join(arguments.build_dir, "tav-host"))
    started = time.monotonic()
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False).result
    print("commands test took %.1f s" % (time.monotonic() - started))
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())

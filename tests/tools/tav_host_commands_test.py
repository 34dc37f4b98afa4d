#!/usr/bin/python3
"""tav-host's commands as a person runs them: the Linux build, or with --wine tav-host.exe under
wine, driven from Linux.

The tour prints tav_host_tour.txt (but for the library's name); `describe` gives the routes as
an OpenAPI 3.1 document; `call` answers the four routes and refuses with the documented exit
codes; `serve` claims its lockfile, answers curl with basic authentication on the loopback,
serves its page, saves to its data file and holds it against another tav-host, refuses a second
server (one started at the same moment too) and a link at the lockfile, and on Ctrl-C (SIGINT,
which wine hands to the console's handler) stops with 0 and removes the lockfile. Raw clients
meet serve's limits and framing rules, idle sockets keep no one waiting and /events streams; a
stale lockfile is taken over, and a data file changed on disk is not saved over.

    /usr/bin/python3 tav_host_commands_test.py --build-dir build/win32 --wine

Paths are given as Linux paths: under wine they name the same files on drive Z:, the drive of
the folder the test runs in.
"""
import argparse
import base64
import json
import os
import re
import signal
import socket
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
UNSET = "/tav-platform-config/v1/namespaces/Test/unset"
PATIENCE = 60  # seconds for any one command; wine starting cold is slow
TOOL = []  # the command that runs tav-host, set by main
LIBRARY = "libtav_banners.so"


def start(*args):
    """tav-host with args, running, and the files its output goes to: a pipe would stay open for
    as long as a wine server that wine started for it runs."""
    out, err = tempfile.TemporaryFile("w+"), tempfile.TemporaryFile("w+")
    return subprocess.Popen(TOOL + list(args), stdout=out, stderr=err), out, err


def text(file):
    """What was written to file, line ends as on Linux."""
    file.seek(0)
    return file.read()


def run(*args):
    """(exit code, standard output, standard error) of one command."""
    process, out, err = start(*args)
    with out, err:
        try:
            code = process.wait(PATIENCE)
        except subprocess.TimeoutExpired:
            process.kill()
            code = process.wait()
        return code, text(out), text(err)


def curl(served, path, *options, password=None):
    """(status, body) of one request to a serving tav-host."""
    credentials = ["-u", "tav:" + password] if password else []
    done = subprocess.run(["curl", "-sS", "-w", "\n%{http_code}", *credentials, *options,
                           served.url + path], capture_output=True, text=True, timeout=PATIENCE)
    body, _, status = done.stdout.rpartition("\n")
    return int(status), body


def interrupt(served):
    """Ctrl-C for serve: SIGINT, which wine hands to the console's handler. The exit code."""
    served.process.send_signal(signal.SIGINT)
    return served.process.wait(PATIENCE)


def connect(served):
    return socket.create_connection(("127.0.0.1", int(served.url.rsplit(":", 1)[1])),
                                    timeout=PATIENCE)


def head(served, request_line, password):
    """A request line and the headers a well-behaved client sends, without the blank line."""
    return "%s\r\nHost: %s\r\nAuthorization: Basic %s\r\n" % (
        request_line, served.url[len("http://"):],
        base64.b64encode(("tav:" + password).encode()).decode())


def statuses(connection, data, count, until=b""):
    """Sends data as it is and answers the statuses of the first `count` answers, or of those
    before the connection ended; with until, reads on until that arrives too."""
    try:
        connection.sendall(data)
    except ConnectionError:
        pass  # refused before all was sent; the answer may still be there to read
    received = b""
    while len(re.findall(rb"HTTP/1\.1 (\d{3})", received)) < count or until not in received:
        try:
            chunk = connection.recv(65536)
        except ConnectionError:
            break
        if not chunk:
            break
        received += chunk
    return [int(code) for code in re.findall(rb"HTTP/1\.1 (\d{3})", received)], received


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

    def test_describe_gives_the_routes_as_openapi_3_1(self):
        code, out, _ = run("describe")
        self.assertEqual(code, 0)
        document = json.loads(out)
        self.assertEqual(document["openapi"], "3.1.0")
        self.assertLessEqual({FLAGS, EQUIPPED, FRAME}, set(document["paths"]))

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
                (["serve", "--lockfile", self.file("other.lock"), "--port",
                  served.lockfile_fields()[2]], 6, "cannot listen on 127.0.0.1:"),
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
            code = interrupt(served)
        self.assertEqual(code, 0, served.output())
        self.assertIn("tav-host stopped", served.output())
        self.assertFalse(os.path.exists(served.lockfile))

    def test_serve_holds_its_limits_and_framing_against_raw_clients(self):
        served = Served(TOOL, self.folder.name)
        self.addCleanup(served.log.close)
        self.addCleanup(served.stop)
        password = served.lockfile_fields()[3]
        get = head(served, "GET %s HTTP/1.1" % FLAGS, password) + "\r\n"
        put = head(served, "PUT %s HTTP/1.1" % UNSET, password) + "Content-Type: application/json\r\n"
        cases = [  # what, bytes sent on one connection, statuses answered
            ("a head beyond 64 KiB", get[:-2] + "X-Pad: " + "a" * 70000 + "\r\n\r\n", [431]),
            ("a body beyond 16 MiB", put + "Content-Length: 16777217\r\n\r\n", [413]),
            ("two lengths", put + "Content-Length: 4\r\nContent-Length: 4\r\n\r\ntrue", [400]),
            ("a compressed body", put + "Content-Encoding: gzip\r\nContent-Length: 4\r\n\r\ntrue",
             [415]),
            ("a foreign name", get.replace(served.url[len("http://"):], "attacker.example"), [403]),
            ("a body in chunks", put + "Transfer-Encoding: chunked\r\n\r\n4\r\ntrue\r\n0\r\n\r\n",
             [200]),
        ]
        # Sockets that send nothing, or half a head, wait on one thread and hold up no one.
        idle = [connect(served) for _ in range(20)]
        for connection in idle[:5]:
            connection.sendall(b"GET /tav-banners/v1/cur")
        for what, data, expected in cases:
            with self.subTest(what):
                with connect(served) as connection:
                    self.assertEqual(statuses(connection, data.encode(), len(expected))[0],
                                     expected)
        with connect(served) as connection:  # kept alive between requests
            for _ in range(2):
                self.assertEqual(statuses(connection, get.encode(), 1)[0], [200])
        for connection in idle:
            connection.close()

        with connect(served) as events:
            request = head(served, "GET /events HTTP/1.1", password) + "\r\n"
            self.assertEqual(statuses(events, request.encode(), 1, b": connected")[0], [200])
            self.assertEqual(curl(served, UNSET, "-X", "PUT", "-H", "Content-Type: application/json",
                                  "--data-binary", "1", password=password)[0], 200)
            self.assertIn(b"event: TavHostChange", statuses(events, b"", 0, b"TavHostChange")[1])
        self.assertEqual(interrupt(served), 0, served.output())

    def test_of_two_servers_started_at_once_on_one_lockfile_exactly_one_serves(self):
        lockfile = self.file("lockfile")
        both = [start("serve", "--lockfile", lockfile) for _ in range(2)]
        for _, out, err in both:
            self.addCleanup(out.close)
            self.addCleanup(err.close)
        # The loser ends by itself with 6; then the winner has claimed the lockfile.
        deadline = time.monotonic() + PATIENCE
        while all(server.poll() is None for server, _, _ in both) and time.monotonic() < deadline:
            time.sleep(0.05)
        ended = [one for one in both if one[0].poll() is not None]
        serving = [one for one in both if one[0].poll() is None]
        self.assertEqual((len(ended), len(serving)), (1, 1))
        self.assertEqual(ended[0][0].returncode, 6)
        self.assertIn("belongs to tav-host process", text(ended[0][2]))
        serving[0][0].send_signal(signal.SIGINT)
        self.assertEqual(serving[0][0].wait(PATIENCE), 0)
        self.assertEqual(text(serving[0][1]).splitlines()[-1], "tav-host stopped")

    def test_serve_takes_over_a_stale_lockfile_and_saves_over_no_edit(self):
        self.file("lockfile", "tav-host:999999\n")
        self.file(".lockfile.Ab12Cd", "a write killed half-way")
        data = self.file("sondar.json", run("sample")[1])
        served = Served(TOOL, self.folder.name, ["--data", data])
        self.addCleanup(served.log.close)
        password = served.lockfile_fields()[3]
        self.assertFalse(os.path.exists(self.file(".lockfile.Ab12Cd")))
        with open(data, "a") as edited:
            edited.write("\n")
        status, answer = curl(served, EQUIPPED, "-X", "PUT", "-H", "Content-Type: application/json",
                              "--data-binary", STORM, password=password)
        self.assertEqual(status, 500, answer)
        self.assertIn("was changed on disk since tav-host read it", answer)
        self.assertEqual(interrupt(served), 5, served.output())
        with open(data) as kept:
            self.assertNotIn("Storm\\\"", kept.read())


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

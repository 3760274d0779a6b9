#!/usr/bin/env python3
"""Stand-in for the statistics service: the settings request and the package delivery.

"get_settings.php" is answered with the settings text of --settings (status --settings-status). With
--slow-settings BYTES the reply is that many bytes, sent a little at a time (for cancel tests); with
--settings-delay SECONDS it comes only after that time (a service that hangs). With --huge-settings BYTES
the reply is that many bytes at full speed (a broken or hostile service; the reader may hang up early).

"index.php?version=2" takes a package document: every body is parsed as XML and the verdict is appended
to --packages, one tab-separated line per delivery: "valid", the number of events, the event names
joined by "," -- or "invalid" and the parser's reason. The reply is the next entry of --results (a
comma-separated list of reply texts, the last one repeating; default "0"), after --send-delay seconds.
With --packages-dir every body is also kept there as package-<n>.xml. With --events every event of a valid
package is appended to that file as "execution<TAB>ord<TAB>name" (for counting deliveries per event).

Every request is recorded with --record (see peerlib). Started by a unit test with --port 0; by hand or
by the GUI tests and the demo on the fixed port 18082 (the statistics host of the test builds).

Examples:
  stat_service.py --port 18082 --packages-dir /tmp/stat-packages
  stat_service.py --port 0 --port-file p.txt --settings collect_data=1&send_data=1 --results 99,0
"""
import os
import threading
import time
import xml.etree.ElementTree as ElementTree
from http.server import BaseHTTPRequestHandler

import peerlib


class Deliveries:
    """The scripted result codes and the packages received so far."""

    def __init__(self, options):
        self.results = options.results.split(",") if options.results else ["0"]
        self.options = options
        self.count = 0
        self.lock = threading.Lock()

    def take(self, body):
        verdict = self.judge(body)
        with self.lock:
            if self.options.events and verdict[0] == "valid":
                self.record_events(body)
            result = self.results[min(self.count, len(self.results) - 1)]
            self.count += 1
            number = self.count
            if self.options.packages:
                with open(self.options.packages, "a", encoding="utf-8", newline="\n") as out:
                    out.write("\t".join(verdict) + "\n")
        if self.options.packages_dir:
            os.makedirs(self.options.packages_dir, exist_ok=True)
            with open(os.path.join(self.options.packages_dir, "package-%d.xml" % number), "wb") as out:
                out.write(body)
        return result

    def record_events(self, body):
        package = ElementTree.fromstring(body)
        with open(self.options.events, "a", encoding="utf-8", newline="\n") as out:
            for event in package.findall("event"):
                fields = [event.get("execution", ""), event.get("ord", ""), event.get("name", "")]
                out.write("\t".join(peerlib.escape(field) for field in fields) + "\n")

    @staticmethod
    def judge(body):
        try:
            package = ElementTree.fromstring(body)
        except ElementTree.ParseError as error:
            return ["invalid", peerlib.escape(str(error))]
        events = [event.get("name", "") for event in package.findall("event")]
        if package.tag != "package" or package.get("tracker") != "1.0.0.1":
            return ["invalid", "not a package document"]
        return ["valid", str(len(events)), ",".join(events)]


def make_handler(options, deliveries, recorder):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_POST(self):
            body = peerlib.read_body(self)
            recorder.add(self, body)
            if self.path.startswith("/get_settings.php"):
                self.settings()
            elif self.path.startswith("/index.php?version=2"):
                result = deliveries.take(body)
                time.sleep(options.send_delay)
                self.answer(options.send_status, result.encode("utf-8"))
            else:
                self.answer(404, b"no such page")

        do_GET = do_POST

        def settings(self):
            time.sleep(options.settings_delay)
            if options.huge_settings:
                self.huge_reply(options.huge_settings)
                return
            if options.slow_settings:
                self.send_response(200)
                self.send_header("Content-Length", str(options.slow_settings))
                self.end_headers()
                left = options.slow_settings
                while left > 0:
                    piece = min(left, 1024)
                    self.wfile.write(b"x" * piece)
                    self.wfile.flush()
                    left -= piece
                    time.sleep(0.1)
                return
            self.answer(options.settings_status, options.settings.encode("utf-8"))

        def huge_reply(self, size):
            self.send_response(200)
            self.send_header("Content-Length", str(size))
            self.end_headers()
            piece = b"y" * 65536
            left = size
            try:
                while left > 0:
                    self.wfile.write(piece[:min(left, len(piece))])
                    left -= min(left, len(piece))
            except OSError:
                self.close_connection = True  # the reader stopped early

        def answer(self, status, data):
            self.send_response(status)
            self.send_header("Content-Type", "text/plain; charset=utf-8")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

    return Handler


def main():
    parser = peerlib.common_options("Statistics service stand-in", 18082)
    parser.add_argument("--settings", default="collect_data=1&send_data=1", help="reply of get_settings.php")
    parser.add_argument("--settings-status", type=int, default=200)
    parser.add_argument("--settings-delay", type=float, default=0.0)
    parser.add_argument("--slow-settings", type=int, default=0, help="a reply of this many bytes, sent slowly")
    parser.add_argument("--huge-settings", type=int, default=0, help="a reply of this many bytes, sent at once")
    parser.add_argument("--results", default="0", help="comma-separated replies to deliveries")
    parser.add_argument("--send-status", type=int, default=200)
    parser.add_argument("--send-delay", type=float, default=0.0)
    parser.add_argument("--packages", help="append one verdict line per delivered package")
    parser.add_argument("--events", help="append one line per delivered event")
    parser.add_argument("--packages-dir", help="keep every delivered body here")
    options = parser.parse_args()
    handler = make_handler(options, Deliveries(options), peerlib.Recorder(options.record))
    server = peerlib.Server(("127.0.0.1", options.port), handler)
    peerlib.serve(server, options)


if __name__ == "__main__":
    main()

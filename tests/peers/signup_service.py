#!/usr/bin/env python3
"""Stand-in for the vendor's sign-up service: records every posted body and answers from a script.

The script of replies (--replies) is a JSON list; each entry is either a reply body (status 200) or an
object {"status": 200, "reason": "OK", "body": "...", "delay": seconds}. Requests take the entries in
turn; the last one repeats. --reply gives a single body instead (no blanks: see peerlib). Bodies are sent
in the ANSI code page of the wizard's test machine (cp1252). Only --path is served; other paths get 404.

Examples:
  signup_service.py --port 18443 --cert build/x64/certs/server.pem --reply 'success||http://localhost:18080/files/setup.exe'
  signup_service.py --port 0 --port-file p.txt --cert server.pem --replies replies.json --record posted.txt
"""
import json
import threading
import time
from http.server import BaseHTTPRequestHandler

import peerlib


class Script:
    def __init__(self, replies):
        self.replies = replies or ["success||"]
        self.next = 0
        self.lock = threading.Lock()

    def take(self):
        with self.lock:
            reply = self.replies[min(self.next, len(self.replies) - 1)]
            self.next += 1
        if isinstance(reply, str):
            reply = {"body": reply}
        return reply


def make_handler(options, script, recorder):
    class Handler(BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def do_POST(self):
            body = peerlib.read_body(self)
            recorder.add(self, body)
            if self.path != options.path:
                self.answer(404, "Not Found", "no such page")
                return
            reply = script.take()
            time.sleep(float(reply.get("delay", 0)))
            self.answer(int(reply.get("status", 200)), reply.get("reason", "OK"), reply.get("body", ""))

        do_GET = do_POST

        def answer(self, status, reason, text):
            data = text.encode(options.encoding, "replace")
            self.send_response(status, reason)
            self.send_header("Content-Type", "text/plain; charset=" + options.encoding)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

    return Handler


def main():
    parser = peerlib.common_options("Sign-up service stand-in", 18443)
    parser.add_argument("--path", default="/store/signup.php")
    parser.add_argument("--replies", help="JSON file with the script of replies")
    parser.add_argument("--reply", help="a single reply body for every request")
    parser.add_argument("--encoding", default="cp1252")
    options = parser.parse_args()
    replies = None
    if options.replies:
        with open(options.replies, encoding="utf-8") as source:
            replies = json.load(source)
    elif options.reply is not None:
        replies = [options.reply]
    handler = make_handler(options, Script(replies), peerlib.Recorder(options.record))
    server = peerlib.Server(("127.0.0.1", options.port), handler)
    peerlib.serve(server, options)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Stand-in for the vendor's sign-up service: records every posted body and answers from a script.

The script of replies (--replies) is a JSON list; each entry is either a reply body (status 200) or an
object {"status": 200, "reason": "OK", "body": "...", "delay": seconds}. Requests take the entries in
turn; the last one repeats. Faults, combinable in such an object:
  "reason": null     a status line without a reason text
  "size": n          a body of n bytes of binary garbage instead of "body" (sent in pieces)
  "length": n        announce this Content-Length whatever the body's size; "length": null sends none
  "cut": n           send only the first n bytes of the body, then close the connection
  "rate": n          send about n bytes per second
  "silent": seconds  take the request and answer nothing for that long (or until the client goes)
  "garbage": true    answer with bytes that are no HTTP at all --reply gives a single body instead (no blanks: see peerlib). Bodies are sent
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
            if "silent" in reply:
                peerlib.wait_until_client_goes(self, float(reply["silent"]))
                self.close_connection = True
                return
            if reply.get("garbage"):
                self.send_pieces(peerlib.garbage(20000), None)
                return
            if any(key in reply for key in ("size", "length", "cut", "rate")) or reply.get("reason", "") is None:
                self.answer_with_faults(reply)
                return
            self.answer(int(reply.get("status", 200)), reply.get("reason", "OK"), reply.get("body", ""))

        do_GET = do_POST

        def answer(self, status, reason, text):
            data = text.encode(options.encoding, "replace")
            self.send_response(status, reason)
            self.send_header("Content-Type", "text/plain; charset=" + options.encoding)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def answer_with_faults(self, reply):
            if "size" in reply:
                size, pieces = int(reply["size"]), peerlib.garbage(int(reply["size"]))
            else:
                data = reply.get("body", "").encode(options.encoding, "replace")
                size, pieces = len(data), iter([data])
            headers = [("Content-Type", "text/plain; charset=" + options.encoding)]
            length = reply.get("length", size)
            if length is not None:
                headers.append(("Content-Length", str(length)))
            peerlib.send_head(self, int(reply.get("status", 200)), reply.get("reason", "OK"), headers)
            self.send_pieces(pieces, reply.get("cut"), int(reply.get("rate", 0)))

        def send_pieces(self, pieces, cut, rate=0):
            """Sends the pieces (at most cut bytes of them), paced to rate bytes per second, then closes."""
            limit = float("inf") if cut is None else int(cut)
            sent = 0
            start = time.monotonic()
            try:
                for piece in pieces:
                    if sent >= limit:
                        break
                    step = max(1, rate // 20) if rate else len(piece) or 1
                    for offset in range(0, len(piece), step):
                        part = piece[offset: offset + step][: max(0, int(min(limit - sent, 1 << 30)))]
                        if not part:
                            break
                        if rate:
                            pause = start + (sent + len(part)) / rate - time.monotonic()
                            if pause > 0:
                                time.sleep(pause)
                        self.wfile.write(part)
                        sent += len(part)
                self.wfile.flush()
            except OSError:
                pass  # the client went away (TLS reports it as an SSL error)
            self.close_connection = True

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

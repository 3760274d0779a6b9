#!/usr/bin/env python3
"""Forward HTTP proxy stand-in for the statistics client's proxy tests.

A request arrives with an absolute address ("POST http://127.0.0.1:port/path HTTP/1.1"). With --auth
user:password a request without the matching Basic "Proxy-Authorization" gets 407 with a Basic
challenge; --auth-status 401 answers 401 instead. Accepted requests are passed on to the target, which
must be on the loopback, and the target's reply is passed back. Every request is recorded (--record, see
peerlib), its "Proxy-Authorization" header included, so a test can see the credentials it was given.
"""
import base64
import http.client
import urllib.parse
from http.server import BaseHTTPRequestHandler

import peerlib

LOOPBACK = {"127.0.0.1", "localhost", "::1"}


def make_handler(options, recorder):
    expected = "Basic " + base64.b64encode(options.auth.encode("utf-8")).decode() if options.auth else None

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_POST(self):
            body = peerlib.read_body(self)
            recorder.add(self, body)
            if expected and self.headers.get("Proxy-Authorization", "") != expected:
                self.refuse()
                return
            target = urllib.parse.urlsplit(self.path)
            if target.scheme != "http" or target.hostname not in LOOPBACK:
                self.answer(403, b"only loopback targets")
                return
            self.forward(target, body)

        do_GET = do_POST

        def refuse(self):
            if options.auth_status == 401:
                self.send_response(401, "Unauthorized")
                self.send_header("WWW-Authenticate", 'Basic realm="statistics test"')
            else:
                self.send_response(407, "Proxy Authentication Required")
                self.send_header("Proxy-Authenticate", 'Basic realm="statistics test proxy"')
            self.send_header("Content-Length", "0")
            self.end_headers()

        def forward(self, target, body):
            connection = http.client.HTTPConnection(target.hostname, target.port or 80, timeout=30)
            path = target.path + ("?" + target.query if target.query else "")
            try:
                connection.request(self.command, path, body=body, headers={"Content-Length": str(len(body))})
                reply = connection.getresponse()
                data = reply.read()
            except OSError as error:
                self.answer(502, str(error).encode("utf-8"))
                return
            finally:
                connection.close()
            self.send_response(reply.status, reply.reason)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def answer(self, status, data):
            self.send_response(status)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

    return Handler


def main():
    parser = peerlib.common_options("Forward HTTP proxy stand-in", 18083)
    parser.add_argument("--auth", help="user:password the client must send (DOMAIN\\user allowed)")
    parser.add_argument("--auth-status", type=int, default=407, choices=(401, 407))
    options = parser.parse_args()
    server = peerlib.Server(("127.0.0.1", options.port), make_handler(options, peerlib.Recorder(options.record)))
    peerlib.serve(server, options)


if __name__ == "__main__":
    main()

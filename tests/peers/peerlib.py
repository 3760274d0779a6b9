"""Common start-up of the loopback stand-ins: options, port file, TLS, time limit and stop file.

The stand-ins are started in two ways:
- by a unit test running under Wine: Wine's CreateProcess starts a Unix program given by its Unix path
  ("/usr/bin/python3 script args"; arguments must not contain blanks or quotes). Wine hands back no
  usable process handle for it, so the test cannot wait for or end the process: the stand-in writes its
  port to --port-file (bind to port 0 picks a free one) and ends by itself when --stop-file appears or
  --time-limit seconds have passed;
- by hand or by a script (demo, GUI tests, benchmark) on a fixed --port.
"""
import argparse
import os
import ssl
import sys
import threading
import time
from http.server import ThreadingHTTPServer


def common_options(description, default_port):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--port", type=int, default=default_port, help="0 picks a free port")
    parser.add_argument("--port-file", help="write the port here once the server listens")
    parser.add_argument("--cert", help="PEM with certificate and key: serve HTTPS")
    parser.add_argument("--record", help="append one line per request: method, path, headers, body")
    parser.add_argument("--time-limit", type=float, default=600.0, help="seconds until the server stops")
    parser.add_argument("--stop-file", help="the server stops once this file exists")
    return parser


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


def escape(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n")


class Recorder:
    """Appends one tab-separated line per request: method, path, content type, proxy authorization, body."""

    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()

    def add(self, handler, body):
        if not self.path:
            return
        fields = [handler.command, handler.path, handler.headers.get("Content-Type", ""),
                  handler.headers.get("Proxy-Authorization", ""), body.decode("utf-8", "replace")]
        line = "\t".join(escape(f) for f in fields) + "\n"
        with self.lock:
            with open(self.path, "a", encoding="utf-8", newline="\n") as out:
                out.write(line)


def read_body(handler):
    length = int(handler.headers.get("Content-Length", "0") or "0")
    return handler.rfile.read(length) if length > 0 else b""


def send_head(handler, status, reason, headers):
    """Writes the status line and headers directly: a reason of None leaves the reason text out."""
    version = handler.protocol_version
    line = "%s %d" % (version, status) if reason is None else "%s %d %s" % (version, status, reason)
    head = line + "\r\n" + "".join("%s: %s\r\n" % item for item in headers) + "\r\n"
    handler.wfile.write(head.encode("latin-1"))


def garbage(size, seed=1):
    """size bytes that are neither HTTP nor text, in pieces of at most 1 MiB (never held whole)."""
    piece = bytes((i * 7919 + seed * 104729) % 251 for i in range(1 << 16)) * 16
    sent = 0
    while sent < size:
        part = piece[: min(len(piece), size - sent)]
        sent += len(part)
        yield part


def wait_until_client_goes(handler, seconds):
    """Sends nothing for a while; a client that closes its end ends the wait early."""
    import select
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        readable, _, _ = select.select([handler.connection], [], [], 0.2)
        try:
            if readable and not handler.connection.recv(1):
                return
        except OSError:
            return


def serve(server, options):
    if options.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(options.cert)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    if options.port_file:
        temporary = options.port_file + ".tmp"
        with open(temporary, "w") as out:
            out.write(str(server.server_address[1]))
        os.replace(temporary, options.port_file)  # the reader never sees a half-written file
    deadline = time.monotonic() + options.time_limit

    def watchdog():
        while time.monotonic() < deadline:
            if options.stop_file and os.path.exists(options.stop_file):
                break
            time.sleep(0.2)
        server.shutdown()

    threading.Thread(target=watchdog, daemon=True).start()
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        sys.stdout.flush()
        os._exit(0)  # handler threads that still stall end with the process

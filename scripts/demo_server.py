#!/usr/bin/env python3
"""The demo's web application and update server on loopback, in one process (standard library only).

  /touch/default/type/ipad/source/software?ver<version>   a small page that shows the version it was asked with
  /update/update.txt, /update/Quorel.exe                    the release folder's files (scripts/release.sh make)

Each request is told on standard output in plain words, and appended as one "event ..." line to the
events file, which scripts/run.sh follows. The server binds before the executables exist (their build
needs its port), so the release's files are read from disk at each request.
"""

import argparse
import html
import http.server
import os
import socket
import sys
import threading
import time
import urllib.parse

WEBAPP_PATH = "/touch/default/type/ipad/source/software"
# About 14 KB a second: the download of the ~150 KB executable lasts ten seconds.
CHUNK_BYTES = 2048
CHUNK_PAUSE_S = 0.15


def pick_socket(preferred):
    """A listening socket on 127.0.0.1: the preferred port when it is free, any free port otherwise."""
    for port in ([preferred] if preferred else []) + [0]:
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        # The previous run's port may still be in TIME_WAIT; a live listener still keeps it taken.
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            sock.bind(("127.0.0.1", port))
            sock.listen(16)
            return sock
        except OSError:
            sock.close()
    raise OSError("no free loopback port")


class DemoServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, sock, options):
        super().__init__(sock.getsockname(), DemoHandler, bind_and_activate=False)
        self.socket.close()
        self.socket = sock
        self.server_address = sock.getsockname()
        self.options = options
        self.lock = threading.Lock()

    def tell(self, words, event):
        with self.lock:
            print("  [server] " + words, flush=True)
            if self.options.events:
                with open(self.options.events, "a", encoding="utf-8") as out:
                    out.write("event " + event + "\n")


class DemoHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "QuorelDemo/1.0"

    def log_message(self, format, *args):
        pass  # the plain-words lines replace the access log

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == WEBAPP_PATH:
            self.web_page(url.query)
        elif url.path == "/update/update.txt":
            version = self.release_file("update.txt")
            self.server.tell("Quorel asked the update server for its version; it answered %r"
                             % (version or b"").decode("latin-1"), "version-asked")
            self.answer(200 if version else 404, "text/plain", version or b"not made")
        elif url.path.lower() == "/update/quorel.exe":
            self.update_exe()
        else:
            self.server.tell("Something asked for %s, which the demo does not have (404)" % self.path,
                             "not-found " + url.path)
            self.answer(404, "text/plain", b"not found")

    def web_page(self, query):
        # The shell appends its version right after "ver", with no "=".
        version = query[3:] if query.startswith("ver") else ""
        shown = version or "(no version)"
        self.server.tell("The web application was opened by Quorel " + shown, "opened " + (version or "-"))
        page = PAGE.format(version=html.escape(shown), address=html.escape(self.path))
        self.answer(200, "text/html; charset=utf-8", page.encode("utf-8"))

    def release_file(self, name):
        try:
            with open(os.path.join(self.server.options.release, "update", name), "rb") as f:
                return f.read()
        except OSError:
            return None

    def update_exe(self):
        body = self.release_file("Quorel.exe")
        if body is None:
            self.server.tell("Quorel asked for the update, but it has not been built", "download-missing")
            self.answer(404, "text/plain", b"not built")
            return
        # Quorel opens this request before it asks the user, and reads it only after a "Yes": what leaves
        # while the question is open waits in the socket, so the download shows the rest.
        self.server.tell("Quorel requested the update, Quorel.exe", "download-requested")
        try:
            self.answer(200, "application/octet-stream", body, paced=True)
        except OSError:
            self.server.tell("The download of the update was broken off", "download-broken")
            return
        self.server.tell("All %d bytes of the update have left the server (%d every %.2f s)"
                         % (len(body), CHUNK_BYTES, CHUNK_PAUSE_S), "downloaded %d" % len(body))

    def answer(self, status, content_type, body, paced=False):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-cache")
        self.send_header("Connection", "close")
        self.end_headers()
        # The executable goes out slowly enough for its progress window to be seen, yet far within the
        # program's stall limits (15 s of silence, 30 s for a 4096-byte block).
        step = CHUNK_BYTES if paced else len(body)
        for at in range(0, len(body), max(step, 1)):
            if at:
                time.sleep(CHUNK_PAUSE_S)
            self.wfile.write(body[at:at + step])
            self.wfile.flush()
        self.close_connection = True


PAGE = """<!DOCTYPE html>
<html lang="zh-CN">
<head><meta charset="utf-8"><title>Zelmora</title></head>
<body style="font-family: sans-serif; margin: 2em">
<h1>Zelmora &mdash; online fitting room (demo)</h1>
<p>This page was opened by Quorel <b>{version}</b>.</p>
<p>Requested address: <code>{address}</code></p>
</body>
</html>
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", type=int, default=0, help="preferred port (another free one when taken)")
    parser.add_argument("--port-file", help="where to write the port once listening")
    parser.add_argument("--events", help="file that gets one line per request")
    parser.add_argument("--release", required=True, help="the release folder whose update/ is served")
    options = parser.parse_args()

    server = DemoServer(pick_socket(options.port), options)
    port = server.server_address[1]
    if options.port_file:
        tmp = options.port_file + ".tmp"
        with open(tmp, "w") as out:
            out.write("%d\n" % port)
        os.replace(tmp, options.port_file)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""A stand-in Sentry collector: sentry_collector.py MODE RECORD_FILE.

Prints "LISTENING <port>" for a free port of 127.0.0.1. MODE "answer" gives
every post 200, "silent" accepts and never answers. Each post, read with the
Sentry SDK's own envelope reader, is appended to RECORD_FILE as a JSON line.
Without the SDK (Debian package python3-sentry-sdk) the posts are read by the
strict reader below alone, and "reader" says which one read them.
"""
import json
import socket
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

try:
    from sentry_sdk.envelope import Envelope
except ImportError:
    Envelope = None

MODE = sys.argv[1]
RECORD = sys.argv[2]
LOCK = threading.Lock()


def strict_read(body):
    """The item headers and payloads as written, and the faults that the
    SDK's lenient reader would let pass: the exact layout."""
    headers = []
    payloads = []
    faults = []
    try:
        body.decode("utf-8")
    except UnicodeDecodeError as e:
        faults.append("not utf-8: %s" % e)
    if not body.endswith(b"\n"):
        faults.append("no final line feed")
    first = body.find(b"\n")
    at = first + 1
    while at < len(body):
        end = body.find(b"\n", at)
        header = json.loads(body[at:end])
        headers.append(header)
        length = header["length"]
        payload_end = end + 1 + length
        if body[payload_end:payload_end + 1] != b"\n":
            faults.append("item length %d does not end at a line feed" % length)
            break
        payloads.append(json.loads(body[end + 1:payload_end]))
        at = payload_end + 1
    return headers, payloads, faults


def record(entry):
    with LOCK:
        with open(RECORD, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry, ensure_ascii=False) + "\n")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        entry = {
            "method": self.command,
            "path": self.path,
            "auth": self.headers.get("X-Sentry-Auth"),
            "content_type": self.headers.get("Content-Type"),
        }
        try:
            item_headers, payloads, entry["faults"] = strict_read(body)
            if Envelope is None:
                entry["reader"] = "strict"
                entry["headers"] = json.loads(body[:body.find(b"\n")])
                entry["items"] = [
                    {"headers": written, "payload": payload} for written, payload in zip(item_headers, payloads)
                ]
            else:
                entry["reader"] = "sentry_sdk"
                envelope = Envelope.deserialize(body)
                entry["headers"] = envelope.headers
                # The SDK adds a content type of its own to the headers it keeps,
                # so the headers are taken as written.
                entry["items"] = [
                    {"headers": written, "payload": item.get_event() or item.get_transaction_event()}
                    for written, item in zip(item_headers, envelope.items)
                ]
                if len(item_headers) != len(envelope.items):
                    entry["faults"].append("the SDK read %d items" % len(envelope.items))
        except Exception as e:  # a body that cannot be read
            entry["faults"] = ["unreadable: %r" % e]
        record(entry)
        reply = b'{"id":"ok"}'
        self.send_response(200)
        self.send_header("Content-Length", str(len(reply)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


def silent():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    print("LISTENING %d" % listener.getsockname()[1], flush=True)
    held = []
    while True:
        connection, _ = listener.accept()
        held.append(connection)  # never read, never answered, never closed


def main():
    if MODE == "silent":
        silent()
        return
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    print("LISTENING %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()

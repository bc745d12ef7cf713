#!/usr/bin/env python3
"""Drives the endpoint-load check: hostile connections on threads, a real client on the main thread."""
import json
import socket
import sys
import threading
import time

port, token, client = int(sys.argv[1]), sys.argv[2], sys.argv[3]
stop = threading.Event()


def post(body, session=None, timeout=5.0):
    """One request; returns (status, headers text, seconds taken) or (None, error, seconds)."""
    started = time.monotonic()
    extra = f"Mcp-Session-Id: {session}\r\n" if session else ""
    data = body.encode()
    head = (f"POST /mcp/{token} HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
            f"Accept: application/json, text/event-stream\r\n{extra}Content-Length: {len(data)}\r\n\r\n")
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
            s.settimeout(timeout)
            s.sendall(head.encode() + data)
            answer = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                answer += chunk
    except OSError as error:
        return None, str(error), time.monotonic() - started
    text = answer.decode(errors="replace")
    status = int(text.split(" ", 2)[1]) if text.startswith("HTTP/1.1 ") else None
    return status, text, time.monotonic() - started


def silent():
    while not stop.is_set():
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
                s.settimeout(1)
                while not stop.is_set():
                    try:
                        if not s.recv(4096):
                            break
                    except socket.timeout:
                        continue
        except OSError:
            time.sleep(0.01)


def slow_body():
    while not stop.is_set():
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
                s.sendall((f"POST /mcp/{token} HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                           "Content-Length: 50\r\n\r\n{").encode())
                s.settimeout(5)
                while not stop.is_set():
                    try:
                        if not s.recv(4096):
                            break
                    except socket.timeout:
                        s.sendall(b" ")
        except OSError:
            time.sleep(0.01)


init = json.dumps({"jsonrpc": "2.0", "id": 1, "method": "initialize",
                   "params": {"protocolVersion": "2025-06-18", "capabilities": {},
                              "clientInfo": {"name": client, "version": "1"}}})
status, text, _ = post(init)
session = next((line.split(":", 1)[1].strip() for line in text.split("\r\n")
                if line.lower().startswith("mcp-session-id:")), None)
if status != 200 or not session:
    sys.exit(f"initialize failed: {text[:300]}")

threads = [threading.Thread(target=silent, daemon=True) for _ in range(80)]
threads += [threading.Thread(target=slow_body, daemon=True) for _ in range(16)]
for t in threads:
    t.start()
time.sleep(3)  # every slot and the queue full, slow bodies under way

# Every ping must be answered: one held behind the hostile connections is turned away once it has
# queued too long, and counts as not answered. How long the answers take is the benchmarks' matter; the
# socket's timeout here only bounds a hang, generously, as a loaded machine can be slow.
answered, times, failures = 0, [], []
for i in range(100):
    status, text, took = post(json.dumps({"jsonrpc": "2.0", "id": i + 2, "method": "ping"}), session, timeout=20.0)
    times.append(took)
    if status == 200:
        answered += 1
    else:
        failures.append(f"ping {i}: {status} {text[:80]!r} after {took:.2f} s")
        if len(failures) > 5:
            break
    time.sleep(0.05)
stop.set()

times.sort()
print(f"answered {answered} of {len(times)}, median {times[len(times) // 2]:.3f} s, slowest {times[-1]:.2f} s")
for line in failures[:10]:
    print(line)
if answered < 95:
    sys.exit(1)

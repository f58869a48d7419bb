#!/usr/bin/env python3
"""What hostile clients cost quorvel-devserver: slow clients, and memory against request size.

Run by hand, not by the test run:

    python3 bench/hostile.py [--build build] [--tricklers 500]

1. --tricklers connections from eight loopback addresses (127.0.0.2 to .9) each send the
   start of a request and then a byte every two seconds; meanwhile the administrator's
   GetApps (from 127.0.0.1) and a page (from 127.0.0.10) are timed.
2. For requests of growing size, each on a fresh server: the server's peak resident
   memory (VmHWM) and the time of the answer, for
   - a form whose call names one field many times (ListCustomers(x,x,...)&x=...),
   - a form post of that size to a public request,
   - a multipart body of many file parts without a delimiter,
   - a result of 10000 rows with one wide cell (ListCustomers' script replaced).
"""
import argparse
import os
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time

PASSWORD = "bench-Secret1"


class Server:
    def __init__(self, build, work, extra=()):
        self.root = tempfile.mkdtemp(dir=work)
        self.log = open(os.path.join(self.root, "server.log"), "w+")
        env = dict(os.environ, QUORVEL_ADMIN_PASSWORD=PASSWORD)
        self.proc = subprocess.Popen(
            [os.path.join(build, "devserver", "quorvel-devserver"), "--root",
             os.path.join(self.root, "r"), "--port", "0", "--seed-demo", "--fast-hash", *extra],
            stderr=self.log, env=env)
        self.port = None
        for _ in range(300):
            self.log.seek(0)
            m = re.search(r"listening on \S+ port (\d+)", self.log.read())
            if m:
                self.port = int(m.group(1))
                return
            time.sleep(0.05)
        sys.exit("quorvel-devserver did not start")

    def peak_kb(self):
        with open(f"/proc/{self.proc.pid}/status") as f:
            return int(re.search(r"VmHWM:\s+(\d+)", f.read()).group(1))

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


def exchange(port, data, source="127.0.0.1", timeout=120):
    with socket.socket() as s:
        s.settimeout(timeout)
        s.bind((source, 0))
        s.connect(("127.0.0.1", port))
        s.sendall(data)
        chunks = []
        while True:
            try:
                b = s.recv(65536)
            except OSError:
                break
            if not b:
                break
            chunks.append(b)
    return b"".join(chunks)


def dev(port, body, sid=0):
    head = "DEV \r\n" + (f"Cookie: jsessionid={sid}\r\n" if sid else "")
    return exchange(port, (head + f"Content-Length: {len(body)}\r\n\r\n").encode() + body)


def login(port):
    a = dev(port, f"server_request=server_login(admin,{PASSWORD})\r\n\r\n".encode())
    return int(re.search(rb"jsessionid=(\d+)", a).group(1))


def post(port, body, kind="application/x-www-form-urlencoded"):
    return exchange(port, (f"POST /demo/ HTTP/1.1\r\nHost: h\r\nConnection: close\r\n"
                           f"Content-Type: {kind}\r\nContent-Length: {len(body)}\r\n\r\n")
                    .encode() + body)


def tricklers(build, work, count):
    s = Server(build, work, ["--max-connections-per-address", "64"])
    socks, stop = [], [False]
    for i in range(count):
        c = socket.socket()
        c.bind((f"127.0.0.{2 + i % 8}", 0))
        c.connect(("127.0.0.1", s.port))
        c.sendall(b"GET /demo/index.html HTTP/1.1\r\n")
        socks.append(c)

    def trickle():
        while not stop[0]:
            for c in socks:
                try:
                    c.send(b"X")
                except OSError:
                    pass
            time.sleep(2)

    t = threading.Thread(target=trickle)
    t.start()
    time.sleep(0.5)
    t0 = time.perf_counter()
    sid = login(s.port)
    apps = dev(s.port, b"server_request=GetApps()\r\n\r\n", sid)
    admin = time.perf_counter() - t0
    t0 = time.perf_counter()
    page = exchange(s.port, b"GET /demo/index.html HTTP/1.1\r\nConnection: close\r\n\r\n",
                    "127.0.0.10")
    browser = time.perf_counter() - t0
    stop[0] = True
    t.join()
    for c in socks:
        c.close()
    s.stop()
    ok = b"demo" in apps and page.startswith(b"HTTP/1.1 200")
    print(f"{count} trickling connections from 8 addresses: administrator's login and GetApps "
          f"{admin * 1000:.0f} ms, a page from another address {browser * 1000:.0f} ms"
          f"{'' if ok else '  (NOT ANSWERED RIGHT)'}")


def memory(build, work):
    def case(name, size, send, setup=None):
        s = Server(build, work)
        if setup:
            setup(s)
        before = s.peak_kb()
        t0 = time.perf_counter()
        answer = send(s.port, size)
        took = time.perf_counter() - t0
        peak = s.peak_kb()
        s.stop()
        status = answer[9:12].decode(errors="replace") if answer else "---"
        print(f"{name:<34} {size / 1024:8.0f} KB  status {status}  {took * 1000:7.0f} ms  "
              f"peak {peak / 1024:7.1f} MB (+{(peak - before) / 1024:.1f} MB)")

    def repeated(port, size):
        n = max(1, size // 32)
        return post(port, (b"server_request=ListCustomers(" + b",".join([b"x"] * n) + b")&x=" +
                           b"v" * (size - 2 * n)))

    def form(port, size):
        return post(port, b"server_request=FindCustomer(v)&v=" + b"1" * size)

    def parts(port, size):
        part = b'--b\r\nContent-Disposition: form-data; name="f"; filename="a.txt"\r\n\r\nx\r\n'
        return post(port, b"server_request=ListCustomers()\r\n" + part * (size // len(part)),
                    "multipart/form-data; boundary=b")

    def wide_cell(s):
        script = os.path.join(s.root, "script.sql")
        with open(script, "w") as f:
            f.write("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n LIMIT 9999) "
                    "SELECT i, CASE WHEN i = 1 THEN printf('%.*c', 10240, 'x') ELSE '' END FROM n")
        cli = os.path.join(build, "studio", "cli", "quorvel-cli")
        pw = os.path.join(s.root, "pw")
        with open(pw, "w") as f:
            f.write(PASSWORD + "\n")
        subprocess.run([cli, "--port", str(s.port), "--user", "admin", "--password-file", pw,
                        "SetReqScript", "1", script], check=True, stdout=subprocess.DEVNULL)

    for size in (64 << 10, 1 << 20, 16 << 20):
        case("call naming one field many times", size, repeated)
    for size in (1 << 20, 16 << 20, 64 << 20):
        case("form post to a public request", size, form)
    for size in (64 << 10, 560 << 10, 4 << 20):
        case("multipart, parts without an end", size, parts)
    case("10000 rows, one 10 KB cell", 0,
         lambda port, _: exchange(
             port, b"GET /demo/ListCustomers() HTTP/1.1\r\nConnection: close\r\n\r\n"),
         wide_cell)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--tricklers", type=int, default=500)
    args = ap.parse_args()
    with tempfile.TemporaryDirectory() as work:
        tricklers(args.build, work, args.tricklers)
        memory(args.build, work)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""The demo shop's customer list under load, against a static file server.

Run by hand, not by the test run:

    python3 bench/shop.py [--build build] [--clients 8] [--seconds 10] [--customers 100]

Starts quorvel-devserver with the demo data on a free port and fills the demo database
to --customers customers. Then --clients clients, each a browser with its own session
cookie, fetch ListCustomers() (an SQL request rendered through its page template) one
request per connection, as fast as they can, for --seconds. The same clients then fetch,
for as long, a static file with exactly the bytes of that page from
`python3 -m http.server` on the same machine. Printed: requests per second and latency
percentiles of both, and the ratio quorvel / http.server.
"""
import argparse
import os
import re
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def fetch(port, path, cookie=None):
    """One GET on a fresh connection: the whole answer (header and body)."""
    request = f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
    if cookie:
        request += f"Cookie: {cookie}\r\n"
    request += "Connection: close\r\n\r\n"
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        s.sendall(request.encode())
        chunks = []
        while True:
            b = s.recv(65536)
            if not b:
                break
            chunks.append(b)
    return b"".join(chunks)


def body(answer):
    return answer[answer.index(b"\r\n\r\n") + 4:]


def load(port, path, cookies, seconds, expect):
    """Each client fetches path until the time is up: (requests per second, latencies)."""
    latencies = [[] for _ in cookies]
    errors = [0]
    stop = time.monotonic() + seconds

    def client(i):
        while time.monotonic() < stop:
            t0 = time.perf_counter()
            a = fetch(port, path, cookies[i])
            latencies[i].append(time.perf_counter() - t0)
            if not a.startswith(b"HTTP/1.") or body(a) != expect:
                errors[0] += 1

    started = time.monotonic()
    threads = [threading.Thread(target=client, args=(i,)) for i in range(len(cookies))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    elapsed = time.monotonic() - started
    all_ = sorted(x for l in latencies for x in l)
    if errors[0]:
        print(f"  {errors[0]} answers were not the expected page", file=sys.stderr)
    return len(all_) / elapsed, all_


def pct(sorted_values, p):
    return sorted_values[min(len(sorted_values) - 1, int(len(sorted_values) * p / 100))] * 1000


def report(name, rate, lat):
    print(f"{name:<28} {rate:9.0f} req/s   p50 {pct(lat, 50):6.2f} ms   p90 {pct(lat, 90):6.2f} ms"
          f"   p99 {pct(lat, 99):6.2f} ms")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--clients", type=int, default=8)
    ap.add_argument("--seconds", type=float, default=10)
    ap.add_argument("--customers", type=int, default=100)
    args = ap.parse_args()
    server_bin = os.path.join(args.build, "devserver", "quorvel-devserver")
    with tempfile.TemporaryDirectory() as work:
        root = os.path.join(work, "root")
        env = dict(os.environ, QUORVEL_ADMIN_PASSWORD="bench-Secret1")
        log = open(os.path.join(work, "server.log"), "w+")
        server = subprocess.Popen([server_bin, "--root", root, "--port", "0", "--seed-demo",
                                   "--fast-hash"], stderr=log, env=env)
        static = None
        try:
            port = None
            for _ in range(300):
                log.seek(0)
                m = re.search(r"listening on \S+ port (\d+)", log.read())
                if m:
                    port = int(m.group(1))
                    break
                time.sleep(0.05)
            if not port:
                sys.exit("quorvel-devserver did not start")
            db = sqlite3.connect(os.path.join(root, "datasources", "demo-db.sqlite"))
            have = db.execute("SELECT count(*) FROM customers").fetchone()[0]
            db.executemany("INSERT INTO customers(name, city) VALUES(?, ?)",
                           [(f"Customer {i:03d}", f"City {i % 17}")
                            for i in range(have + 1, args.customers + 1)])
            db.commit()
            db.close()

            path = "/demo/ListCustomers()"
            cookies = []
            for _ in range(args.clients):
                a = fetch(port, "/demo/index.html")
                m = re.search(rb"Set-Cookie: (jsessionid=[0-9a-f]+)", a)
                cookies.append(m.group(1).decode())
            page = body(fetch(port, path, cookies[0]))
            rows = page.count(b"<tr><td>")
            site = os.path.join(work, "site")
            os.makedirs(site)
            with open(os.path.join(site, "customers.html"), "wb") as f:
                f.write(page)
            sport = free_port()
            static = subprocess.Popen([sys.executable, "-m", "http.server", str(sport), "--bind",
                                       "127.0.0.1", "--directory", site],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(100):
                try:
                    fetch(sport, "/customers.html")
                    break
                except OSError:
                    time.sleep(0.05)

            print(f"{args.clients} clients, {args.seconds:g} s each; the page: {len(page)} bytes, "
                  f"{rows} customers; {os.cpu_count()} CPUs")
            q_rate, q_lat = load(port, path, cookies, args.seconds, page)
            report("quorvel-devserver SQL", q_rate, q_lat)
            s_rate, s_lat = load(sport, "/customers.html", [None] * args.clients, args.seconds,
                                 page)
            report("python3 -m http.server", s_rate, s_lat)
            print(f"ratio quorvel / http.server: {q_rate / s_rate:.2f} (requests per second), "
                  f"{pct(q_lat, 50) / pct(s_lat, 50):.2f} (median latency)")
        finally:
            if static:
                static.terminate()
                static.wait()
            server.terminate()
            server.wait()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""quorvel-devserver side by side with nginx, measured with wrk in one run.

Run by hand, not by the test run (needs nginx-light, wrk, apache2-utils' ab and strace):

    python3 bench/pace.py [--build build] [--seconds 5] [--customers 100]

Starts quorvel-devserver with the demo shop (filled to --customers customers) and nginx
(a configuration of its own on a free loopback port) serving, as static files, exactly
the bytes the devserver answers: the shop's index.html, the ListCustomers() page and the
GetApps answer. wrk then loads each, with and without keep-alive, at 1 and 16 clients
(GetApps: 8 clients of bench_devserver against 100 applications, one command per
connection as the studio sends it, as wrk sends no DEV request), each browser
with its session cookie; a first visit is a browser without one. Printed: requests per
second of both and their ratio, the first visit's latency percentiles, and the system
calls the devserver makes per static request (strace -c over ab -c 1, a new connection
each).
"""
import argparse
import os
import re
import shutil
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time

PASSWORD = "bench-Secret1"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def exchange(port, request):
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        s.sendall(request)
        s.shutdown(socket.SHUT_WR)
        chunks = []
        while True:
            b = s.recv(65536)
            if not b:
                break
            chunks.append(b)
    return b"".join(chunks)


def get(port, path, cookie=None):
    r = f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\n"
    if cookie:
        r += f"Cookie: {cookie}\r\n"
    return exchange(port, (r + "Connection: close\r\n\r\n").encode())


def body(answer):
    return answer[answer.index(b"\r\n\r\n") + 4:]


def wrk(url, clients, seconds, headers=(), script=None, latency=False):
    threads = min(clients, 2)
    cmd = ["wrk", "-t", str(threads), "-c", str(clients), "-d", f"{max(1, round(seconds))}s"]
    for h in headers:
        cmd += ["-H", h]
    if script:
        cmd += ["-s", script]
    if latency:
        cmd.append("--latency")
    done = subprocess.run(cmd + [url], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(cmd + [url])}: {done.stderr.strip() or done.stdout.strip()}")
    out = done.stdout
    rate = float(re.search(r"Requests/sec:\s+([\d.]+)", out).group(1))
    errors = re.search(r"Non-2xx or 3xx responses: (\d+)|Socket errors: (.*)", out)
    lat = dict(re.findall(r"^\s+(50|75|90|99)%\s+(\S+)", out, re.M))
    return rate, lat, errors.group(0) if errors else ""


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--seconds", type=float, default=5)
    ap.add_argument("--customers", type=int, default=100)
    args = ap.parse_args()
    for tool in ("nginx", "wrk", "ab", "strace"):
        if not shutil.which(tool) and not os.path.exists(f"/usr/sbin/{tool}"):
            sys.exit(f"{tool} is not installed")
    nginx_bin = shutil.which("nginx") or "/usr/sbin/nginx"
    server_bin = os.path.join(args.build, "devserver", "quorvel-devserver")
    secs = args.seconds
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)  # nginx's workers read the site
        root = os.path.join(work, "root")
        env = dict(os.environ, QUORVEL_ADMIN_PASSWORD=PASSWORD)
        log = open(os.path.join(work, "server.log"), "w+")
        server = subprocess.Popen([server_bin, "--root", root, "--port", "0", "--seed-demo",
                                   "--fast-hash"], stderr=log, env=env)
        nginx = None
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

            a = get(port, "/demo/index.html")
            cookie = re.search(rb"Set-Cookie: (jsessionid=[0-9a-f]+)", a).group(1).decode()
            site = os.path.join(work, "site")
            os.makedirs(site)
            files = {
                "index.html": body(get(port, "/demo/index.html", cookie)),
                "customers.html": body(get(port, "/demo/ListCustomers()", cookie)),
            }
            for name, data in files.items():
                with open(os.path.join(site, name), "wb") as f:
                    f.write(data)
            nport = free_port()
            conf = os.path.join(work, "nginx.conf")
            with open(conf, "w") as f:
                f.write(("user root;\n" if os.geteuid() == 0 else "") +
                        f"worker_processes auto;\ndaemon off;\npid {work}/nginx.pid;\n"
                        f"error_log {work}/nginx.err;\nevents {{ worker_connections 4096; }}\n"
                        f"http {{ access_log off; default_type text/html; sendfile on;\n"
                        f"  keepalive_requests 1000;\n"
                        f"  server {{ listen 127.0.0.1:{nport}; root {site}; }} }}\n")
            nginx = subprocess.Popen([nginx_bin, "-c", conf, "-p", work],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(100):
                try:
                    get(nport, "/index.html")
                    break
                except OSError:
                    time.sleep(0.05)

            q = f"http://127.0.0.1:{port}"
            n = f"http://127.0.0.1:{nport}"
            close = "Connection: close"
            print(f"{os.cpu_count()} CPUs, wrk {secs:g} s per figure; the ListCustomers() page: "
                  f"{len(files['customers.html'])} bytes")
            print(f"{'case':<34} {'clients':>7} {'keep-alive':>10} {'devserver/s':>12} "
                  f"{'nginx/s':>10} {'ratio':>6}")
            cases = [] if os.environ.get("PACE_ONLY_ADMIN") else [
                ("static page", "/demo/index.html", "/index.html"),
                ("ListCustomers() page", "/demo/ListCustomers()", "/customers.html"),
            ]
            for name, qpath, npath in cases:
                for keep in (True, False):
                    for clients in (1, 16):
                        extra = [] if keep else [close]
                        qr, _, qe = wrk(q + qpath, clients, secs, [f"Cookie: {cookie}"] + extra)
                        nr, _, _ = wrk(n + npath, clients, secs, extra)
                        print(f"{name:<34} {clients:>7} {'yes' if keep else 'no':>10} "
                              f"{qr:>12.0f} {nr:>10.0f} {qr / nr:>6.2f} {qe}")
            # wrk sends no DEV request: bench_devserver's clients fetch GetApps (100
            # applications) and the same bytes from nginx, one per connection each.
            bench = os.path.join(args.build, "bench", "bench_devserver")
            if os.path.exists(bench):
                out = subprocess.run([bench, str(secs), "8", "100", str(nport)],
                                     capture_output=True, text=True,
                                     env=dict(os.environ, QV_BENCH_SITE=site)).stdout
                rates = re.findall(r"([\d.]+) commands/s", out)
                if len(rates) == 2:
                    qr, nr = float(rates[0]), float(rates[1])
                    print(f"{'GetApps, 100 applications':<34} {8:>7} {'no':>10} {qr:>12.0f} "
                          f"{nr:>10.0f} {qr / nr:>6.2f}")
            trace = os.path.join(work, "strace.txt")
            tracer = subprocess.Popen(["strace", "-c", "-f", "-o", trace, "-p", str(server.pid)],
                                      stderr=subprocess.DEVNULL)
            time.sleep(1.0)
            subprocess.run(["ab", "-q", "-n", "200", "-c", "1", "-H", f"Cookie: {cookie}",
                            q + "/demo/index.html"], stdout=subprocess.DEVNULL, check=True)
            time.sleep(0.2)
            tracer.terminate()
            tracer.wait()
            with open(trace) as f:
                text = f.read()
            total = re.search(r"^\s*100\.00\s+\S+\s+\S+\s+(\d+)", text, re.M)
            calls = int(total.group(1)) if total else 0
            print(f"system calls per static request (ab -c 1, a new connection each, "
                  f"200 requests): {calls / 200:.1f}")
            top = [l for l in text.splitlines()[2:] if re.match(r"\s*\d", l)][:20]
            print("\n".join("    " + l.strip() for l in top))
            qr, lat, qe = wrk(q + "/demo/index.html", 16, secs, latency=True)
            print(f"first visit (no cookie), 16 clients, keep-alive: {qr:.0f}/s, latency "
                  + ", ".join(f"p{k} {v}" for k, v in lat.items()) + f" {qe}")

        finally:
            if nginx:
                nginx.terminate()
                nginx.wait()
            server.terminate()
            server.wait()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Transfers through quorvel-cli and quorvel-devserver against curl and cat.

Run by hand, not by the test run (it moves gigabytes):

    python3 bench/transfer.py [--build build] [--sizes 200,1024] [--runs 3] [--dir DIR]

For each size (in MB) a file of random bytes is
  uploaded   with quorvel-cli UploadFile (kind 3, the data folder) into quorvel-devserver,
             against `cat FILE > COPY && sync -d COPY` (the same bytes written and flushed
             by the simplest local copy);
  downloaded with quorvel-cli DownloadFile from quorvel-devserver,
             against `curl -o COPY URL && sync -d COPY` from `python3 -m http.server`.
Both sides of the quorvel transfer flush the file to disk before replacing the target,
as `sync -d` does for the others. Each figure is the median of --runs runs. The ratio is
quorvel's time over the other's; the peak resident memory is quorvel-cli's (per call)
and quorvel-devserver's (over the whole run).
"""
import argparse
import os
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request


def run(argv, work):
    """Wall time in seconds and peak resident memory in MB of one command. The memory is
    measured by /usr/bin/time: a child forked from this interpreter would count the
    interpreter's own pages."""
    report = os.path.join(work, "rss")
    os.sync()  # every command starts without the dirty pages of the one before
    start = time.perf_counter()
    p = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + argv,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    took = time.perf_counter() - start
    if p.returncode != 0:
        sys.exit(f"failed ({p.returncode}): {' '.join(map(str, argv))}\n{p.stderr.decode()}")
    with open(report) as f:
        return took, int(f.read().split()[-1]) / 1024.0


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def peak_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024.0
    return float("nan")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--sizes", default="200,1024", help="file sizes in MB")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--dir", default=None, help="where the files go (default: a temporary folder)")
    a = ap.parse_args()
    devserver = os.path.abspath(os.path.join(a.build, "devserver", "quorvel-devserver"))
    cli = os.path.abspath(os.path.join(a.build, "studio", "cli", "quorvel-cli"))
    for prog in (devserver, cli):
        if not os.access(prog, os.X_OK):
            sys.exit(f"{prog} is missing: build first")
    for tool in ("curl", "sync", "/usr/bin/time"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing")

    work = tempfile.mkdtemp(prefix="qv-transfer-", dir=a.dir)
    servers = []
    try:
        pw = os.path.join(work, "pw")
        with open(pw, "w") as f:
            f.write("bench-password-1\n")
        root = os.path.join(work, "root")
        ds = subprocess.Popen([devserver, "--root", root, "--port", "0", "--admin-password-file", pw,
                               "--fast-hash", "--max-request-mb", "2000"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        servers.append(ds)
        port = None
        for line in ds.stderr:
            m = re.search(r"listening on \S+ port (\d+)", line)
            if m:
                port = m.group(1)
                break
        if not port:
            sys.exit("quorvel-devserver did not start")
        base = [cli, "--port", port, "--user", "admin", "--password-file", pw, "--timeout", "600"]
        subprocess.run(base + ["NewApp", "bench", "transfers", "30"], check=True,
                       stdout=subprocess.DEVNULL)
        apps = subprocess.run(base + ["GetApps"], check=True, capture_output=True, text=True).stdout
        app = next(l.split("\t")[1] for l in apps.splitlines() if l.startswith("bench\t"))
        data = os.path.join(root, "apps", "bench", "data")

        http_port = free_port()
        httpd = subprocess.Popen([sys.executable, "-m", "http.server", str(http_port), "--bind",
                                  "127.0.0.1", "--directory", data],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        servers.append(httpd)
        for _ in range(100):
            try:
                urllib.request.urlopen(f"http://127.0.0.1:{http_port}/", timeout=1).close()
                break
            except OSError:
                time.sleep(0.05)

        rows = []
        for mb in (int(s) for s in a.sizes.split(",")):
            name = f"file{mb}.bin"
            src = os.path.join(work, name)
            with open(src, "wb") as f:
                for _ in range(mb):
                    f.write(os.urandom(1 << 20))
            copy = os.path.join(work, "copy.bin")
            got = os.path.join(work, "got.bin")
            up, up_base, down, down_base, rss = [], [], [], [], []
            # Every run after the first replaces the file the one before left, on both
            # sides alike (freeing the old file's blocks is part of the cost).
            for _ in range(a.runs):
                t, r = run(base + ["UploadFile", app, "3", src], work)
                up.append(t)
                rss.append(r)
                up_base.append(
                    run(["sh", "-c", 'cat "$0" > "$1" && sync -d "$1"', src, copy], work)[0])
                t, r = run(base + ["DownloadFile", app, "3", name, got], work)
                down.append(t)
                rss.append(r)
                if os.path.getsize(got) != mb << 20:
                    sys.exit("the downloaded file has the wrong size")
                url = f"http://127.0.0.1:{http_port}/{name}"
                down_base.append(run(["sh", "-c", 'curl -s -f -o "$1" "$0" && sync -d "$1"', url,
                                      got + ".curl"], work)[0])
            for f in (src, copy, got, got + ".curl"):
                os.remove(f)
            os.remove(os.path.join(data, name))
            med = statistics.median
            rows.append((mb, "upload", med(up), med(up_base), "cat + sync -d", max(rss)))
            rows.append((mb, "download", med(down), med(down_base), "curl + sync -d", max(rss)))
        ds_peak = peak_mb(ds.pid)

        print(f"{'size':>7} {'transfer':<9} {'quorvel s':>9} {'other s':>8} {'other':<15} "
              f"{'ratio':>6} {'cli MB':>7}")
        for mb, what, q, o, other, r in rows:
            print(f"{mb:>5}MB {what:<9} {q:>9.2f} {o:>8.2f} {other:<15} {q / o:>6.2f} {r:>7.1f}")
        print(f"quorvel-devserver peak resident memory over the run: {ds_peak:.1f} MB")
    finally:
        for s in servers:
            s.terminate()
            try:
                s.wait(timeout=10)
            except subprocess.TimeoutExpired:
                s.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()

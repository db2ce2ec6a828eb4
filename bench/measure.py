#!/usr/bin/env python3
"""Runs the benchmark and prints its table. tools/bench prepares what this needs
(builds, Wine prefix, display) and calls it; see there for the options.

Every figure is the median of the runs. The client runs under Wine; the references
run natively on the same files, served by the same nginx. Wall time of a client run
is taken from the moment the robot answers the start-up prompt to the end of the
process doing the work (patch.bin), so Wine's process start-up and the prompt are
left out; they are shown on a line of their own.
"""
import argparse
import os
import shutil
import socket
import statistics
import subprocess
import sys
import threading
import time

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
WINE_LOADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "wine-loader")
POLL_SECONDS = 0.02
MIB = 1024 * 1024


def log(text):
    print(text, file=sys.stderr, flush=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def release_files(release):
    """(relative name, size) of every release file, in a fixed order."""
    found = []
    for directory, _, names in os.walk(release):
        for name in names:
            path = os.path.join(directory, name)
            found.append((os.path.relpath(path, release), os.path.getsize(path)))
    return sorted(found)


# ---- processes seen through /proc ----------------------------------------------

def read_text(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode(errors="replace")
    except OSError:
        return None


def cpu_seconds(pid):
    """utime + stime of a process, or None once it has gone."""
    stat = read_text("/proc/%d/stat" % pid)
    if stat is None:
        return None
    fields = stat[stat.rindex(")") + 2:].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def peak_memory(pid):
    status = read_text("/proc/%d/status" % pid)
    if status is None:
        return None
    for line in status.splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1]) * 1024
    return None


def own_prefix(pid):
    """True for a Wine process of this benchmark's prefix: other Wine runs on the
    machine (tests in another build folder) have processes of the same names."""
    environ = read_text("/proc/%d/environ" % pid) or ""
    return ("WINEPREFIX=" + os.environ["WINEPREFIX"]) in environ.split("\0")


def find_process(comm):
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            if (read_text("/proc/%s/comm" % entry) or "").strip() == comm and own_prefix(int(entry)):
                return int(entry)
    return None


def wineserver_pids():
    # The server of a prefix works in a folder named after the prefix's device and inode.
    prefix = os.stat(os.environ["WINEPREFIX"])
    folder = "/server-%x-%x" % (prefix.st_dev, prefix.st_ino)
    found = []
    for pid in map(int, filter(str.isdigit, os.listdir("/proc"))):
        if (read_text("/proc/%d/comm" % pid) or "").strip().startswith("wineserver"):
            try:
                if os.readlink("/proc/%d/cwd" % pid).endswith(folder):
                    found.append(pid)
            except OSError:
                pass
    return found


def wineserver_cpu():
    return sum(cpu_seconds(pid) or 0 for pid in wineserver_pids())


def measure_native(command, stdin_text=None, cwd=None):
    """Wall, CPU (user + system) and peak memory of a native command and its children."""
    started = time.monotonic()
    process = subprocess.Popen(command, stdin=subprocess.PIPE if stdin_text is not None else None,
                               stdout=subprocess.DEVNULL, cwd=cwd)
    if stdin_text is not None:
        process.stdin.write(stdin_text.encode())
        process.stdin.close()
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.monotonic() - started
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit("bench: %s failed" % command[0])
    return {"wall": wall, "cpu": usage.ru_utime + usage.ru_stime, "memory": usage.ru_maxrss * 1024}


# ---- one client run --------------------------------------------------------------

class client_run:
    """Starts the robot (which starts talomar.exe, which hands over to patch.bin) and
    follows patch.bin through /proc until it ends."""

    def __init__(self, robot, install, complete_check):
        self.lines = []
        # In Wine's virtual desktop, as the demo runs: on a bare X display every hidden
        # window waits two seconds for a window manager that is not there.
        # Its explorer is one of Wine's own programs, and tools/wine-loader picks their
        # loader.
        loader = subprocess.run([WINE_LOADER], stdout=subprocess.PIPE, check=True, text=True).stdout.strip()
        arguments = [loader, "explorer", "/desktop=bench,800x600", robot] + (
            ["--complete-check"] if complete_check else []) + [
            windows_path(install), windows_path(install + ".marker")]
        self.robot = subprocess.Popen(arguments, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.robot.stdout:
            self.lines.append((time.monotonic(), line.decode(errors="replace").strip()))

    def prompt_time(self):
        for stamp, line in self.lines:
            if line.startswith("start-up prompt"):
                return stamp
        return None

    def follow(self, limit_seconds=1800):
        started = time.monotonic()
        pid = None
        while pid is None:
            if time.monotonic() - started > 60:
                raise SystemExit("bench: patch.bin did not start; robot said: %s" % self.lines)
            pid = find_process("patch.bin")
            if pid is None:
                time.sleep(POLL_SECONDS)
        appeared = time.monotonic()
        cpu_at_prompt = None
        server_at_prompt = None
        cpu = memory = 0
        last_seen = appeared
        while True:
            sample_cpu = cpu_seconds(pid)
            sample_memory = peak_memory(pid)
            if sample_cpu is None or sample_memory is None:
                break
            cpu, memory, last_seen = sample_cpu, sample_memory, time.monotonic()
            if cpu_at_prompt is None and self.prompt_time() is not None:
                cpu_at_prompt = cpu
                server_at_prompt = wineserver_cpu()
            if last_seen - started > limit_seconds:
                raise SystemExit("bench: patch.bin still running after %d s" % limit_seconds)
            time.sleep(POLL_SECONDS)
        server_end = wineserver_cpu()
        self.robot.wait(timeout=120)
        self.reader.join(timeout=10)
        prompt = self.prompt_time()
        if prompt is None or cpu_at_prompt is None:
            raise SystemExit("bench: the robot never answered the start-up prompt: %s" % self.lines)
        for _, line in self.lines:
            if line.startswith("message box"):
                raise SystemExit("bench: the client showed a %s" % line)
        return {"wall": last_seen - prompt, "cpu": cpu - cpu_at_prompt, "memory": memory,
                "start_up": prompt - appeared, "start_up_cpu": cpu_at_prompt,
                "wineserver_cpu": server_end - server_at_prompt}


# ---- the pieces of the benchmark -----------------------------------------------

class bench:
    def __init__(self, options):
        self.o = options
        self.work = os.path.abspath(options.work)
        self.release = os.path.join(self.work, "release")
        self.site = os.path.join(self.work, "site")
        self.install = os.path.join(self.work, "install")
        self.fetched = os.path.join(self.work, "curl")
        self.nginx_dir = os.path.join(self.work, "nginx")
        self.nginx_pid = None
        self.results = {}

    def prepare_release(self):
        stamp = os.path.join(self.work, "release.stamp")
        wanted = "%d files, %d MiB, largest %d MiB, generator %d bytes\n" % (
            self.o.files, self.o.mib, self.o.largest,
            os.path.getsize(os.path.join(self.o.top, "bench/make_release.py")))
        if os.path.isdir(self.release) and read_text(stamp) == wanted:
            return
        log("== generating the release (%d files, about %d MiB)" % (self.o.files, self.o.mib))
        shutil.rmtree(self.release, ignore_errors=True)
        os.makedirs(self.release)
        subprocess.run([sys.executable, os.path.join(self.o.top, "bench/make_release.py"),
                        self.release, str(self.o.files), str(self.o.mib), str(self.o.largest)], check=True)
        with open(stamp, "w") as f:
            f.write(wanted)

    def publish(self):
        log("== publishing it for 127.0.0.1:%d" % self.port)
        client = os.path.join(self.work, "client")
        os.makedirs(client, exist_ok=True)
        shutil.copy(self.o.talomar, os.path.join(client, "talomar.exe"))
        hosts = "127.0.0.1:%d" % self.port
        # The client runs in a zone 5 hours west with daylight saving (TZ below), so the
        # list times are written for that zone and installed files keep the release's.
        subprocess.run([self.o.publish, "build", "--release", self.release, "--client", client,
                        "--out", self.site, "--layout", "flat", "--info", "info.txt", "--utc-offset", "-18000",
                        "--client-host", hosts + "/client", "--product-host", hosts + "/product"]
                       + (["--sign", self.o.sign] if self.o.sign else []),
                       check=True, stdout=subprocess.DEVNULL)

    def start_nginx(self):
        self.port = free_port()
        shutil.rmtree(self.nginx_dir, ignore_errors=True)
        os.makedirs(os.path.join(self.nginx_dir, "logs"))
        os.makedirs(os.path.join(self.nginx_dir, "temp"))
        d = self.nginx_dir
        user = "user root;\n" if os.getuid() == 0 else ""
        with open(os.path.join(d, "nginx.conf"), "w") as f:
            f.write("""%sworker_processes 1;
pid %s/nginx.pid;
error_log %s/logs/error.log;
events { worker_connections 64; }
http {
  access_log %s/logs/access.log;
  client_body_temp_path %s/temp/body;
  proxy_temp_path %s/temp/proxy;
  fastcgi_temp_path %s/temp/fastcgi;
  uwsgi_temp_path %s/temp/uwsgi;
  scgi_temp_path %s/temp/scgi;
  default_type application/octet-stream;
  keepalive_requests 100000;
  server {
    listen 127.0.0.1:%d;
    root %s;
%s  }
}
""" % (user, d, d, d, d, d, d, d, d, self.port, self.site,
       "    keepalive_timeout 0;\n" if self.o.one_request_per_connection else ""))
        subprocess.run(["nginx", "-p", d, "-c", os.path.join(d, "nginx.conf"), "-e",
                        os.path.join(d, "logs/error.log")], check=True)
        for _ in range(50):
            try:
                socket.create_connection(("127.0.0.1", self.port), 1).close()
                self.nginx_pid = int(read_text(os.path.join(d, "nginx.pid")))
                return
            except (OSError, TypeError, ValueError):
                time.sleep(0.1)
        raise SystemExit("bench: nginx did not start")

    def stop_nginx(self):
        if self.nginx_pid:
            try:
                os.kill(self.nginx_pid, 15)
            except OSError:
                pass

    def requests(self):
        text = read_text(os.path.join(self.nginx_dir, "logs/access.log")) or ""
        return text.count("\n")

    def product_requests_since(self, before):
        text = read_text(os.path.join(self.nginx_dir, "logs/access.log")) or ""
        return sum("GET /product/data/" in line for line in text.splitlines()[before:])

    def fresh_install(self):
        shutil.rmtree(self.install, ignore_errors=True)
        os.makedirs(self.install)
        shutil.copy(self.o.talomar, os.path.join(self.install, "talomar.exe"))
        with open(os.path.join(self.install, "update.dat"), "w") as f:
            f.write("Corvid Patch\n127.0.0.1:%d/info.txt\n" % self.port)
        open(os.path.join(self.install, "install.log"), "w").close()

    def run_client(self, figure, complete_check=False):
        before = self.requests()
        run = client_run(self.o.robot, self.install, complete_check).follow()
        fetched = self.product_requests_since(before)
        expected = len(self.files) if figure == "install" else 0
        if fetched != expected:
            raise SystemExit("bench: the %s run fetched %d product files, not %d" % (figure, fetched, expected))
        self.results.setdefault(figure, []).append(run)
        log("   %-9s wall %7.2f s  cpu %7.2f s  peak %6.1f MiB  (start-up %.2f s)" % (
            figure, run["wall"], run["cpu"], run["memory"] / MIB, run["start_up"]))

    def run_reference(self, figure, command, stdin_text=None):
        run = measure_native(command, stdin_text)
        self.results.setdefault(figure, []).append(run)
        log("   %-9s wall %7.2f s  cpu %7.2f s  peak %6.1f MiB" % (figure, run["wall"], run["cpu"], run["memory"] / MIB))

    def check_install(self):
        for name, size in self.files:
            path = os.path.join(self.install, name)
            if not os.path.isfile(path) or os.path.getsize(path) != size or \
               int(os.path.getmtime(path)) != int(os.path.getmtime(os.path.join(self.release, name))):
                raise SystemExit("bench: %s is not installed as released" % name)
        if subprocess.run(["diff", "-rq", self.release + "/data", self.install + "/data"]).returncode != 0:
            raise SystemExit("bench: the installed files differ from the release")

    def curl_config(self):
        shutil.rmtree(self.fetched, ignore_errors=True)
        os.makedirs(self.fetched)
        lines = []
        base = "http://127.0.0.1:%d/" % self.port
        # The small files the client asks for too, then every product file.
        for name in ["info.txt", "client/cpatch.dat", "product/command.dat", "product/cpatch.dat", "product/gfl.mft"]:
            lines.append('url = "%s%s"\noutput = "%s/meta/%s"\n' % (base, name, self.fetched, name.replace("/", "_")))
        for name, _ in self.files:
            lines.append('url = "%sproduct/%s"\noutput = "%s/packed/%s"\n' % (base, name, self.fetched, name))
        path = os.path.join(self.work, "curl.config")
        with open(path, "w") as f:
            f.write("".join(lines))
        return path

    def inflate_list(self):
        out = os.path.join(self.fetched, "inflated")
        for name, _ in self.files:
            os.makedirs(os.path.dirname(os.path.join(out, name)), exist_ok=True)
        return "".join("%d %s/packed/%s %s/%s\n" % (size, self.fetched, name, out, name) for name, size in self.files)

    def run(self):
        os.makedirs(self.work, exist_ok=True)
        self.load_at_start = os.getloadavg()[0]
        self.prepare_release()
        self.files = release_files(self.release)
        self.start_nginx()
        try:
            self.publish()
            walk = ["find", self.install, "-type", "f", "-printf", "%s %T@ %p\n"]
            crc_list = "".join(os.path.join(self.install, name) + "\n" for name, _ in self.files)
            for round_number in range(1, self.o.runs + 1):
                log("== round %d of %d" % (round_number, self.o.runs))
                self.fresh_install()
                self.run_client("install")
                if round_number == 1:
                    self.check_install()
                # With nothing to fetch: for the large file, Wine's own share of memory.
                self.run_client("default")
                if self.o.largest > 0:
                    continue
                self.run_client("complete", complete_check=True)
                self.run_reference("walk", walk)
                self.run_reference("crc", [self.o.reference, "crc"], crc_list)
                config = self.curl_config()
                self.run_reference("curl", ["curl", "-s", "-S", "--create-dirs", "-K", config])
                self.run_reference("inflate", [self.o.reference, "inflate"], self.inflate_list())
        finally:
            self.stop_nginx()
        if self.o.largest > 0:
            self.large_file_table()
        else:
            self.table()

    def large_file_table(self):
        largest = max(size for _, size in self.files)
        total = sum(size for _, size in self.files)
        client = self.median("install", "memory") / MIB
        wine = self.median("default", "memory") / MIB
        above = client - wine
        print()
        print("Corvid Update benchmark, large file: %d files, %.0f MiB, largest %.1f MiB (half of it"
              % (len(self.files), total / MIB, largest / MIB))
        print("random bytes); median of %d run%s. The client runs under Wine (%s)."
              % (self.o.runs, "" if self.o.runs == 1 else "s", self.o.client_build))
        print("Machine: %d cores; load average %.1f at the start, %.1f at the end."
              % (os.cpu_count(), self.load_at_start, os.getloadavg()[0]))
        print()
        print("%-44s %10s" % ("figure", "value"))
        print("%-44s %7.1f MiB" % ("client's peak working set, first install", client))
        print("%-44s %7.1f MiB" % ("Wine's own share (a run with nothing to fetch)", wine))
        print("%-44s %7.1f MiB  goal <= 16 MiB %s" % ("client above Wine's share", above,
                                                          "met" if above <= 16 else "MISSED"))
        print("%-44s %7.2f s" % ("first install, wall", self.median("install", "wall")))
        print("%-44s %7.2f s" % ("first install, CPU", self.median("install", "cpu")))

    def median(self, figure, key):
        return statistics.median(run[key] for run in self.results[figure])

    def table(self):
        largest = max(size for _, size in self.files)
        total = sum(size for _, size in self.files)
        m = self.median
        curl_inflate_wall = statistics.median(
            c["wall"] + i["wall"] for c, i in zip(self.results["curl"], self.results["inflate"]))
        curl_inflate_cpu = statistics.median(
            c["cpu"] + i["cpu"] for c, i in zip(self.results["curl"], self.results["inflate"]))
        rows = [
            ("default check, wall", m("default", "wall"), m("walk", "wall"), "s", "find -printf", 3.0),
            ("default check, CPU", m("default", "cpu"), m("walk", "cpu"), "s", "find -printf", None),
            ("complete check, wall", m("complete", "wall"), m("crc", "wall"), "s", "native CRC-32", 1.5),
            ("complete check, CPU", m("complete", "cpu"), m("crc", "cpu"), "s", "native CRC-32", None),
            ("first install, wall", m("install", "wall"), m("curl", "wall"), "s", "curl", None),
            ("first install, wall", m("install", "wall"), curl_inflate_wall, "s", "curl + inflate", 2.0),
            ("first install, CPU", m("install", "cpu"), m("curl", "cpu"), "s", "curl", None),
            ("first install, CPU", m("install", "cpu"), curl_inflate_cpu, "s", "curl + inflate", None),
            ("first install, peak memory", m("install", "memory") / MIB, m("default", "memory") / MIB, "MiB",
             "Wine's own share", (m("default", "memory") + 16 * MIB) / m("default", "memory")),
        ]
        print()
        print("Corvid Update benchmark: %d files, %.0f MiB, largest %.1f MiB; median of %d run%s."
              % (len(self.files), total / MIB, largest / MIB, self.o.runs, "" if self.o.runs == 1 else "s"))
        print("The client runs under Wine (%s); the references run natively on the same" % self.o.client_build)
        print("files from the same nginx on 127.0.0.1. Files are in the page cache for every run.")
        print("Machine: %d cores; load average %.1f at the start, %.1f at the end (other work on a"
              % (os.cpu_count(), self.load_at_start, os.getloadavg()[0]))
        print("shared machine slows both columns, and the client's more).")
        print()
        print("%-28s %12s %12s %-17s %7s  %s" % ("figure", "client", "reference", "(reference)", "ratio", "target"))
        for name, client, reference, unit, label, target in rows:
            ratio = client / reference if reference > 0 else float("inf")
            verdict = ""
            if target is not None:
                verdict = "<= %.2f %s" % (target, "met" if ratio <= target else "MISSED")
            print("%-28s %9.2f %-3s %8.2f %-3s %-17s %7.2f  %s" % (name, client, unit, reference, unit, label, ratio, verdict))
        print()
        print("Not in the client figures: Wine's start-up of patch.bin up to the prompt, median %.2f s wall,"
              % m("install", "start_up"))
        print("%.2f s CPU. Wine's server (wineserver) spent, on the client's behalf, a median of" % m("install", "start_up_cpu"))
        print("%.2f s CPU in the default check, %.2f s in the complete check, %.2f s in the first install."
              % (m("default", "wineserver_cpu"), m("complete", "wineserver_cpu"), m("install", "wineserver_cpu")))
        print("Peak memory of a client run with nothing to fetch (Wine's own share): %.1f MiB."
              % (m("default", "memory") / MIB))


def main():
    parser = argparse.ArgumentParser()
    for name in ["top", "work", "talomar", "robot", "publish", "reference"]:
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--files", type=int, default=7500)
    parser.add_argument("--mib", type=int, default=1024)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--client-build", default="64-bit build")
    # For the 32-bit client under qemu-user, which must keep to one thread (README).
    parser.add_argument("--one-request-per-connection", action="store_true")
    # A private key: the release is signed, for a client built with its public half.
    parser.add_argument("--sign", default="")
    parser.add_argument("--largest", type=int, default=0,
                        help="MiB of one extra file; measures that file's first install alone")
    options = parser.parse_args()
    os.environ["TZ"] = "EST5EDT"
    bench(options).run()


if __name__ == "__main__":
    main()

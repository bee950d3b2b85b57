#!/usr/bin/env python3
"""Times whole Quorlin commands side by side with their baselines, on generated
games, and writes bench/RESULTS.md with the medians, the ratios and whether each
target is met.

  bench/compare.py [--build DIR] [--rounds R] [--runs N] [--out FILE] [--smoke]

  --build   a build holding src/cli/quorlin-cli, src/gui/quorlin, tools/make-sample-game
            and bench/{bare-writer,empty-window} (default build/bench: cmake --preset
            bench && cmake --build --preset bench)
  --rounds  rounds (default 10); every command runs --runs times (default 3) in each
            round, the commands taking turns, so that a slow moment of the machine
            touches all of them alike
  --smoke   one run of everything on a small game, nothing written: checks that the
            benchmarks still run

Games (in a scratch folder under $TMPDIR, removed afterwards): "20k", 20,000 other
entries per archive (textures about 55 MB, props about 17 MB), and "32k", 32,767
entries per archive (EntryCount at its limit). Baselines: `cp` of both archives
then `sync` of each copy (the backups and restores must stay that durable), to new
files for the first insert, which makes its backups, and over copies that are
there already for the restore, which replaces the archives;
bench/bare_writer.c writing slot 12's seven entries at their offsets and flushing
both files, `quorlin-cli --version`, and an empty Qt window's start to first paint.
Times are wall clock from spawning the process to its end (for the windows: to
the first paint it reports), medians over all runs; peak memory is the largest
resident set any run reached."""
import argparse, datetime, os, platform, re, shutil, statistics, subprocess, sys, tempfile, time

p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
p.add_argument("--build", default="build/bench")
p.add_argument("--rounds", type=int, default=10)
p.add_argument("--runs", type=int, default=3)
p.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "RESULTS.md"))
p.add_argument("--smoke", action="store_true")
args = p.parse_args()
build = os.path.abspath(args.build)
CLI, GUI = f"{build}/src/cli/quorlin-cli", f"{build}/src/gui/quorlin"
MAKER, BARE, EMPTY = f"{build}/tools/make-sample-game", f"{build}/bench/bare-writer", f"{build}/bench/empty-window"
for tool in (CLI, GUI, MAKER, BARE, EMPTY):
    if not os.access(tool, os.X_OK):
        sys.exit(f"compare.py: {tool} not found; build first (cmake --preset bench && cmake --build --preset bench)")


def spawn(cmd, env=None, until_paint=False):
    """Runs a command; returns (milliseconds, peak resident kB)."""
    start = time.monotonic_ns()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    err = proc.stderr.read().decode(errors="replace")
    _, status, usage = os.wait4(proc.pid, 0)
    end = time.monotonic_ns()
    if until_paint:
        m = re.search(r"first paint (\d+)", err)
        if not m:
            sys.exit(f"compare.py: {cmd[0]} reported no first paint:\n{err}")
        end = int(m.group(1))
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"compare.py: {' '.join(cmd)} failed:\n{err}")
    return (end - start) / 1e6, usage.ru_maxrss


class Game:
    def __init__(self, root, name, fillers, props_fillers):
        self.name, self.dir = name, os.path.join(root, name)
        self.prefix = os.path.join(root, name + "-prefix")
        subprocess.run([MAKER, self.dir, "--fillers", str(fillers), "--props-fillers", str(props_fillers),
                        "--wine-prefix", self.prefix, "--layout", self.dir + "/layout.txt"], check=True,
                       capture_output=True)
        self.res = os.path.join(self.dir, "resource")
        skins = {a: sum(1 for line in open(self.dir + "/layout.txt") if line.startswith(a + " "))
                 for a in ("textures.mw4", "props.mw4")}
        self.records = {"textures.mw4": fillers + skins["textures.mw4"], "props.mw4": props_fillers + skins["props.mw4"]}
        self.sizes = {a: os.path.getsize(os.path.join(self.res, a)) for a in ("textures.mw4", "props.mw4")}
        # Slot 12's seven entries, for the bare writer.
        self.ranges = []
        for line in open(self.dir + "/layout.txt"):
            archive, name, _, _, offset, length = line.split()
            if name.startswith("textures\\skinb") or name.endswith("lobbyskins\\skinb4.tga"):
                self.ranges += [os.path.join(self.res, archive), offset, length]
        subprocess.run([CLI, "--game", self.dir, "insert", "--slot", "12", self.dir + "/sample-skin.bmp"],
                       check=True, capture_output=True)  # index and backups made: later inserts write in place

    def cli(self, *a):
        return [CLI, "--game", self.dir] + list(a)


def measure(game):
    """name -> (command, prepare, environment, until_paint)."""
    t, pr = os.path.join(game.res, "textures.mw4"), os.path.join(game.res, "props.mw4")
    copies = [os.path.join(game.dir, "t.copy"), os.path.join(game.dir, "p.copy")]
    backups = [t + "b", pr + "b"]
    keep = os.path.join(game.dir, "backups")
    os.makedirs(keep, exist_ok=True)
    for b in backups:
        shutil.copy2(b, keep)

    def no_backups():
        for b in backups:
            if os.path.exists(b):
                os.remove(b)

    def backups_back():
        for b in backups:
            if not os.path.exists(b):
                shutil.copy2(os.path.join(keep, os.path.basename(b)), b)

    window_env = dict(os.environ, WINEPREFIX=game.prefix, QUORLIN_TEST_FIRST_PAINT="1", QT_QPA_PLATFORM="xcb",
                      QUORLIN_TEST_AUTO_ANSWER="yes")
    return {
        "--version": ([CLI, "--version"], None, None, False),
        "status": (game.cli("status"), backups_back, None, False),
        "status --json": (game.cli("status", "--json"), backups_back, None, False),
        "later insert (bitmap)": (game.cli("insert", "--slot", "12", game.dir + "/sample-skin.bmp"), backups_back,
                                  None, False),
        "later insert (Targa)": (game.cli("insert", "--slot", "12", game.dir + "/sample-skin.tga"), backups_back,
                                 None, False),
        "bare writer": ([BARE] + game.ranges, None, None, False),
        "first insert": (game.cli("insert", "--slot", "12", game.dir + "/sample-skin.bmp"), no_backups, None, False),
        "restore": (game.cli("restore", "--yes"), backups_back, None, False),
        "cp + sync": (["sh", "-c", f"cp {t} {copies[0]} && cp {pr} {copies[1]} && sync {copies[0]} {copies[1]}"],
                      lambda: [os.remove(c) for c in copies if os.path.exists(c)], None, False),
        # The same over copies that are there already, as a restore finds the archives.
        "cp + sync over the copies": (["sh", "-c", f"cp {t} {copies[0]} && cp {pr} {copies[1]} && sync {copies[0]} "
                                       f"{copies[1]}"], lambda: [shutil.copy(a, c) for a, c in zip((t, pr), copies)
                                                                 if not os.path.exists(c)], None, False),
        "window to first paint": ([GUI], backups_back, window_env, True),
        "empty Qt window": ([EMPTY], None, window_env, True),
    }


def run_all(game, rounds, runs):
    cases = measure(game)
    times = {name: [] for name in cases}
    peak = {name: 0 for name in cases}
    for _ in range(rounds):
        for name, (cmd, prepare, env, paint) in cases.items():
            for _ in range(runs):
                if prepare:
                    prepare()
                os.sync()  # no write-back left over from the last command runs under this one
                ms, kb = spawn(cmd, env, paint)
                times[name].append(ms)
                peak[name] = max(peak[name], kb)
    cases["status --json"][1]()
    return {n: statistics.median(v) for n, v in times.items()}, peak


def opens(game):
    """How many times status --json opens each archive and backup."""
    log = os.path.join(game.dir, "opens")
    subprocess.run(["strace", "-qq", "-f", "-o", log, "-e", "trace=openat"] + game.cli("status", "--json"),
                   check=True, capture_output=True)
    names = ("textures.mw4", "props.mw4", "textures.mw4b", "props.mw4b")
    found = {n: 0 for n in names}
    for line in open(log):
        m = re.search(r'"[^"]*/resource/([^"/]+)"', line)
        if m and m.group(1) in found and "= -1" not in line:
            found[m.group(1)] += 1
    return found


def xvfb():
    """An X server for the windows, on a free display."""
    for n in range(90, 100):
        if not os.path.exists(f"/tmp/.X{n}-lock"):
            server = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(1.0)
            os.environ["DISPLAY"] = f":{n}"
            return server
    sys.exit("compare.py: no free X display")


def verdicts(m, peak, counts):
    cp = m["cp + sync"]
    rows = [
        ("later insert (bitmap) at most 10 ms", m["later insert (bitmap)"], 10, "ms"),
        ("later insert (Targa) at most 10 ms", m["later insert (Targa)"], 10, "ms"),
        ("later insert (bitmap) at most 3 x bare writer + --version",
         m["later insert (bitmap)"], 3 * m["bare writer"] + m["--version"], "ms"),
        ("later insert (Targa) at most 3 x bare writer + --version",
         m["later insert (Targa)"], 3 * m["bare writer"] + m["--version"], "ms"),
        ("status at most 10 ms", m["status"], 10, "ms"),
        ("status --json at most 10 ms", m["status --json"], 10, "ms"),
        ("window's first paint within 50 ms of an empty Qt window's",
         m["window to first paint"] - m["empty Qt window"], 50, "ms"),
        ("first insert at most 1.10 x cp + sync", m["first insert"] / cp, 1.10, "x"),
        ("restore at most 1.10 x cp + sync over the copies", m["restore"] / m["cp + sync over the copies"], 1.10, "x"),
        ("peak memory of every command under 40 MB", max(peak.values()) / 1024, 40, "MB"),
        ("status --json opens each archive and backup once", max(counts.values()), 1, "opens"),
    ]
    return [(what, got, limit, unit, got <= limit) for what, got, limit, unit in rows]


def main():
    root = tempfile.mkdtemp(prefix="quorlin-compare-")
    server = xvfb()
    try:
        games = [("20k", 20000, 20000), ("32k", 32766 - 222, 32766 - 37)]
        if args.smoke:
            games = [("small", 50, 50)]
        results = []
        for name, fillers, props_fillers in games:
            print(f"game {name}: writing it", flush=True)
            game = Game(root, name, fillers, props_fillers)
            m, peak = run_all(game, 1 if args.smoke else args.rounds, 1 if args.smoke else args.runs)
            counts = opens(game)
            results.append((game, m, peak, counts, verdicts(m, peak, counts)))
            for what, got, limit, unit, ok in results[-1][4]:
                print(f"  {'met ' if ok else 'MISS'} {what}: {got:.2f} {unit} (limit {limit:.2f})", flush=True)
        if args.smoke:
            return 0
        write_results(results)
        return 0 if all(ok for r in results for *_, ok in r[4]) else 1
    finally:
        server.terminate()
        shutil.rmtree(root, ignore_errors=True)


def hand_kept(old):
    """The sections of an earlier RESULTS.md that this script did not write: every
    "## " section but its own "## Game ..." ones (the other benchmarks' figures,
    kept by hand), in their order, each after a blank line."""
    sections = re.split(r"(?m)^(?=## )", old)[1:]  # what comes before the first "## " is this script's
    return "".join("\n" + s.rstrip("\n") + "\n" for s in sections if not s.startswith("## Game "))


def write_results(results):
    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    load = open("/proc/loadavg").read().split()[:3]
    out = ["# Whole-command timings", "",
           f"Measured on {datetime.date.today().isoformat()} by `bench/compare.py --rounds {args.rounds} "
           f"--runs {args.runs}` on this machine: {os.cpu_count()} cores ({cpu}), Linux {platform.release()}, "
           f"load average {' '.join(load)} when it finished. Release build (`bench` preset).", "",
           "Rerun: `cmake --preset bench && cmake --build --preset bench && bench/compare.py`", "",
           "Each figure is the median wall-clock time of "
           f"{args.rounds * args.runs} runs (from spawning the process to its end; for the windows, to the first "
           "paint they report), the commands taking turns within each round. Peak memory is the largest "
           "resident set of any run.", ""]
    for game, m, peak, counts, verdict in results:
        out += [f"## Game {game.name}: {game.records['textures.mw4']} entries in textures.mw4 "
                f"({game.sizes['textures.mw4'] / 1e6:.0f} MB), {game.records['props.mw4']} in props.mw4 "
                f"({game.sizes['props.mw4'] / 1e6:.0f} MB)", "",
                "| command | median | peak memory |", "| --- | ---: | ---: |"]
        out += [f"| {name} | {ms:.2f} ms | {peak[name] / 1024:.1f} MB |" for name, ms in m.items()]
        out += ["", "| target | measured | limit | met |", "| --- | ---: | ---: | :-: |"]
        out += [f"| {what} | {got:.2f} {unit} | {limit:.2f} {unit} | {'yes' if ok else '**no**'} |"
                for what, got, limit, unit, ok in verdict]
        out += ["", f"Restore against `cp + sync` to new files instead: {m['restore'] / m['cp + sync']:.2f} x. "
                "Opens by `status --json`: " + ", ".join(f"{n} {c}" for n, c in counts.items()) + ".", ""]
    kept = hand_kept(open(args.out).read()) if os.path.exists(args.out) else ""
    open(args.out, "w").write("\n".join(out).rstrip("\n") + "\n" + kept)
    print("written:", args.out)


if __name__ == "__main__":
    sys.exit(main())

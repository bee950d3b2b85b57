#!/usr/bin/env python3
"""Times whole Quorlin commands side by side with their baselines, on generated
games, and writes bench/RESULTS.md with the medians, the ratios and whether each
target is met.

  bench/compare.py [--build DIR] [--baseline DIR] [--rounds R] [--runs N] [--out FILE] [--smoke]

  --build   a build holding src/cli/quorlin-cli, src/gui/quorlin, tools/make-sample-game
            and bench/{bare-writer,empty-window} (default build/bench: cmake --preset
            bench && cmake --build --preset bench)
  --baseline  a bench build of the program as it was before (its src/cli/quorlin-cli and
            src/gui/quorlin): its status, later insert and window start run side by side
            with today's, each on a game of its own made alike
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
bench/bare_writer.c keeping a file of the slot's length (flushed with its folder, then
removed, as a slot's history keeps a version), writing slot 12's seven entries at their
offsets and flushing both files, `quorlin-cli --version`, and an empty Qt window's start to first paint.
Times are wall clock from spawning the process to its end (for the windows: to
the first paint it reports), medians over all runs; peak memory is the largest
resident set any run reached."""
import argparse, datetime, os, platform, re, shutil, statistics, struct, subprocess, sys, tempfile, time, zlib

p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
p.add_argument("--build", default="build/bench")
p.add_argument("--baseline")
p.add_argument("--rounds", type=int, default=10)
p.add_argument("--runs", type=int, default=3)
p.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "RESULTS.md"))
p.add_argument("--smoke", action="store_true")
args = p.parse_args()
build = os.path.abspath(args.build)
CLI, GUI = f"{build}/src/cli/quorlin-cli", f"{build}/src/gui/quorlin"
MAKER, BARE, EMPTY = f"{build}/tools/make-sample-game", f"{build}/bench/bare-writer", f"{build}/bench/empty-window"
BASE = os.path.abspath(args.baseline) if args.baseline else None
OLD_CLI, OLD_GUI = (f"{BASE}/src/cli/quorlin-cli", f"{BASE}/src/gui/quorlin") if BASE else (None, None)
for tool in (CLI, GUI, MAKER, BARE, EMPTY) + ((OLD_CLI, OLD_GUI) if BASE else ()):
    if not os.access(tool, os.X_OK):
        sys.exit(f"compare.py: {tool} not found; build first (cmake --preset bench && cmake --build --preset bench)")


def spawn(cmd, env=None, until_paint=False):
    """Runs a command (a list, or a function giving the list for this run); returns (milliseconds, peak resident
    kB)."""
    if callable(cmd):
        cmd = cmd()
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


def alternate(*commands):
    """A command that is each of the given ones in turn, run after run."""
    turn = [0]

    def next_command():
        turn[0] += 1
        return commands[turn[0] % len(commands)]
    return next_command


class Game:
    def __init__(self, root, name, fillers, props_fillers, cli=None):
        self.cli_program = cli or CLI
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
        # A second picture: the sample's every byte inverted, so that inserts taking turns change the slot.
        bmp = open(self.dir + "/sample-skin.bmp", "rb").read()
        open(self.dir + "/other-skin.bmp", "wb").write(bmp[:54] + bytes(255 - b for b in bmp[54:]))
        subprocess.run([self.cli_program, "--game", self.dir, "insert", "--slot", "12", self.dir + "/sample-skin.bmp"],
                       check=True, capture_output=True)  # index and backups made: later inserts write in place

    def cli(self, *a):
        return [self.cli_program, "--game", self.dir] + list(a)

    def inserts(self, picture="sample-skin"):
        """A later insert into slot 12, of the two pictures in turn: each one changes the slot."""
        return alternate(*[self.cli("insert", "--slot", "12", f"{self.dir}/{name}.{kind}")
                           for name, kind in (("other-skin", "bmp"), (picture[0], picture[1]))])


def large_picture(path):
    """A 4096x4096 PNG of fine detail, written once, row by row (the programs this script starts begin as copies
    of it, so it must stay small itself)."""
    if os.path.exists(path):
        return path
    side = 4096
    chunk = lambda k, d: struct.pack(">I", len(d)) + k + d + struct.pack(">I", zlib.crc32(k + d))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0)))
        packer = zlib.compressobj(6)
        for y in range(side):
            data = packer.compress(b"\0" + bytes((x * 7 + y * 3) & 255 for x in range(side * 3)))
            if data:
                out.write(chunk(b"IDAT", data))
        out.write(chunk(b"IDAT", packer.flush()) + chunk(b"IEND", b""))
    return path


def measure(game, before=None):
    """name -> (command, prepare, environment, until_paint); `before` is the same game for the earlier program."""
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
        "later insert (bitmap)": (game.inserts(("sample-skin", "bmp")), backups_back, None, False),
        "later insert (Targa)": (game.inserts(("sample-skin", "tga")), backups_back, None, False),
        "undo": (game.cli("undo", "--slot", "12", "--yes"), backups_back, None, False),
        "insert --fit of a 4096x4096 PNG": (game.cli("insert", "--slot", "12", "--fit",
                                                     large_picture(game.dir + "/large.png")), backups_back, None, False),
        "bare writer": ([BARE, os.path.join(game.res, "bare-version")] + game.ranges, None, None, False),
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
    } | ({} if not before else {
        "status (before)": (before.cli("status"), None, None, False),
        "later insert (bitmap) (before)": (before.inserts(("sample-skin", "bmp")), None, None, False),
        "window to first paint (before)": ([OLD_GUI], None, dict(window_env, WINEPREFIX=before.prefix), True),
    })


def run_all(game, rounds, runs, before=None):
    cases = measure(game, before)
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
        ("peak memory of every command under 40 MB (but the 4096x4096 picture's)",
         max(v for n, v in peak.items() if "4096" not in n) / 1024, 40, "MB"),
        ("undo at most 1.5 x later insert (bitmap)", m["undo"] / m["later insert (bitmap)"], 1.5, "x"),
        ("insert --fit of a 4096x4096 PNG at most 1.5 s", m["insert --fit of a 4096x4096 PNG"], 1500, "ms"),
        ("insert --fit of a 4096x4096 PNG under 200 MB", peak["insert --fit of a 4096x4096 PNG"] / 1024, 200, "MB"),
        ("status --json opens each archive and backup once", max(counts.values()), 1, "opens"),
    ]
    if "status (before)" in m:
        rows += [
            ("status within 5 ms of the earlier program's", m["status"] - m["status (before)"], 5, "ms"),
            ("window to first paint (icons and marks) within 5 ms of the earlier program's",
             m["window to first paint"] - m["window to first paint (before)"], 5, "ms"),
            ("later insert (bitmap), keeping a version, at most 1.25 x the earlier program's",
             m["later insert (bitmap)"] / m["later insert (bitmap) (before)"], 1.25, "x"),
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
            before = Game(root, name + "-before", fillers, props_fillers, OLD_CLI) if BASE else None
            m, peak = run_all(game, 1 if args.smoke else args.rounds, 1 if args.smoke else args.runs, before)
            counts = opens(game)
            results.append((game, m, peak, counts, verdicts(m, peak, counts)))
            if args.smoke:
                print("  peaks: " + ", ".join(f"{n} {v / 1024:.0f} MB" for n, v in peak.items()))
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

#!/usr/bin/env python3
"""Faults injected into the real quorlin-cli on generated games: archives wholly old or new, whole backups, failures
reported with exit status 1, and the next run succeeding with nothing left behind. (Two copies at once: journal_test.)
usage: faults.py QUORLIN_CLI MAKE_SAMPLE_GAME [QUORLIN]  (as root in `unshare -m`; QUORLIN: its settings file too)"""
import hashlib, json, os, re, resource, shutil, struct, subprocess, sys, tempfile, zlib

CLI, MAKER = sys.argv[1], sys.argv[2]
WINDOW = sys.argv[3] if len(sys.argv) > 3 else None
SANITIZED = os.environ.get("QUORLIN_SANITIZED") == "1"
if SANITIZED:  # leak checks cannot run under strace, and shadow memory is no real memory
    os.environ["ASAN_OPTIONS"] = os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
WRITES = "write,pwrite64,copy_file_range,fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat,ftruncate,fchmod"
ARCHIVES = ("textures.mw4", "props.mw4")
OURS = ("quorlin-history", "quorlin.slots")  # the slot history and what is known of the slots, meant to stay
results = []


def run(args, game, extra=None, **kw):
    return subprocess.run((extra or []) + [CLI, "--game", game] + args, capture_output=True, text=True, **kw)


def digest(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest() if os.path.isfile(path) else None


def state(game):
    return tuple(digest(os.path.join(game, "resource", a)) for a in ARCHIVES)


def pending(game):
    return os.path.exists(os.path.join(game, "resource", "quorlin.journal"))


def check(name, ok, detail=""):
    results.append(ok)
    print(("ok   " if ok else "FAIL ") + name + ("" if ok else ": " + detail), flush=True)


class Game:
    """A template game (slots 9 and 12 prepared, indexed) and its state after an insert into slot 12."""

    def __init__(self, root):
        self.root, self.template, self.layout = root, os.path.join(root, "template"), os.path.join(root, "layout.txt")
        subprocess.run([MAKER, self.template, "--fillers", "20", "--prepared", "9", "12", "--layout", self.layout],
                       check=True, capture_output=True)
        run(["index"], self.template, check=True)
        self.old, self.new = state(self.template), state(self.changed("scratch"))

    def copy(self, name):
        game = os.path.join(self.root, name)
        shutil.rmtree(game, ignore_errors=True)
        shutil.copytree(self.template, game, symlinks=True)
        return game

    def fresh(self, name):  # a copy of the template and the insert into its slot 12
        game = self.copy(name)
        return game, ["insert", "--slot", "12", self.picture(game)]

    def changed(self, name):  # a copy whose slot 12 holds the picture
        game, insert = self.fresh(name)
        run(insert, game, check=True)
        return game

    picture = staticmethod(lambda game: os.path.join(game, "sample-skin.bmp"))

    def whole(self, name, game, allowed):  # archives wholly old or new (anything while a journal is pending)
        check(name + ": archives wholly old or wholly new", state(game) in allowed or pending(game), f"{state(game)}")
        for a, old in zip(ARCHIVES, self.old):
            check(name + ": " + a + "b missing or a complete copy of the original",
                  digest(os.path.join(game, "resource", a + "b")) in (None, old))

    def survives(self, name, game, args, allowed, result=None, cause=None, finals=None, what=None, histories=None):
        """The files whole, a failure reported (exit 1, its cause on standard error); the next run finishes or
        discards what is left (saying what it finished; the slot and its history agreeing), then the command works."""
        self.whole(name, game, allowed)
        if result is not None:  # temporary files stay only with the journal they belong to (or when killed)
            check(name + ": exit 1, the message names the cause", result.returncode == 1 and
                  re.search(cause, result.stderr) is not None, f"status {result.returncode}: {result.stderr}")
            temporary = [f for f in os.listdir(os.path.join(game, "resource")) if ".quorlin-" in f]
            check(name + ": no temporary file left but a journal's", not temporary or pending(game), str(temporary))
        journal, after = pending(game), run(["status"], game)
        check(name + ": the next run starts", after.returncode == 0, after.stderr)
        if what and journal:
            check(name + ": the next run says what it finished",
                  f"The interrupted {what} was finished from its journal." in after.stderr, after.stderr)
        if histories:
            now = (slot12(self, game), tuple(sorted(history(game).items())))
            check(name + ": the slot and its history agree", now in histories, str(now))
        left = [f for f in os.listdir(os.path.join(game, "resource")) if "quorlin" in f and f not in OURS]
        check(name + ": no journal or temporary file remains", not left, str(left))
        self.whole(name + " then recovered", game, finals or {self.old, self.new})
        check(name + ": the command then succeeds", run(args, game).returncode == 0)


def trace(game, args, calls=WRITES, extra=(), program=None, **kw):
    """The writing system calls quorlin-cli (or the program given) makes, in order: (name, n-th of that name, file)."""
    log = os.path.join(os.path.dirname(game), "trace")
    subprocess.run(["strace", "-f", "-qq", "-y", "-o", log, "-e", "trace=" + calls, *extra] +
                   (program or [CLI, "--game", game] + args), capture_output=True, **kw)
    found = [(m.group(1), os.path.basename(m.group(2) or m.group(3) or "")) for m in
             (re.match(r'(?:\d+ +)?(\w+)\((?:\d+<([^>]*)>|"([^"]*)")?', line) for line in open(log)) if m]
    return [(call, sum(c == call for c, _ in found[:i + 1]), f) for i, (call, f) in enumerate(found)]


def inject(call, what, when, *options):
    """strace making the when-th call of that name (a number, or "1+" for each) fail or die: what is "error=EIO"..."""
    return ["strace", "-f", "-qq", *options, "-e", "trace=" + call, "-e", f"inject={call}:{what}:when={when}"]


def second_archive_write(game, args):
    """The pwrite64 writing an archive's second range: killed there, an insert leaves its journal, half a slot."""
    return [n for call, n, f in trace(game, args, "pwrite64") if f in ARCHIVES][1]


def slot12(g, game):
    """Slot 12's seven entries, read where the generator put them: six levels, then the lobby preview."""
    places = {(p[0], p[1]): (int(p[4]), int(p[5])) for p in (line.split() for line in open(g.layout))}
    out = b""
    for archive, name in [("textures.mw4", "textures\\skinb%d.tga" % level) for level in range(6)] + \
            [("props.mw4", "shellscripts\\graphics\\multiplayer\\lobbyskins\\skinb4.tga")]:
        offset, length = places[archive, name]
        out += open(os.path.join(game, "resource", archive), "rb").read()[offset:offset + length]
    return hashlib.sha256(out).hexdigest()


def history(game):
    """The slot history as {file name: digest of the entries it keeps}, read field by field: "QRLNVER1", u8 slot,
    i64 time, u8 count, per entry u8 present, u32 length, bytes; u16 + picture name; the checksum after."""
    folder, kept = os.path.join(game, "resource", "quorlin-history"), {}
    for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
        b = open(os.path.join(folder, name), "rb").read()
        at, entries = 18, b""  # a file cut short ends elsewhere than where its fields say
        for _ in range(b[17] if len(b) > 17 else 0):
            length = int.from_bytes(b[at + 1:at + 5], "little")
            entries += b[at + 5:at + 5 + length]
            at += 5 + length
        at += 2 + int.from_bytes(b[at:at + 2], "little")
        kept[name] = hashlib.sha256(entries).hexdigest() if at + 8 == len(b) else "damaged"
    return kept


def kills(g):
    """SIGKILL before every writing system call of an insert, both restores and an undo: the files whole, and after
    the next start the slot and its history agree, wholly before or after (the slot's restore and undo keep both)."""
    first, original, new = "slot12-000001.qver", slot12(g, g.template), slot12(g, g.changed("probe"))
    for label, args, what, kept in [
            ("insert", ["insert", "--slot", "12"], "Insert Skin into slot 12", None),
            ("restore", ["restore", "--yes"], "Restore to Original", None),
            ("restore --slot", ["restore", "--yes", "--slot", "12"], "restore of slot 12",
             {first: original, "slot12-000002.qver": new}),
            ("undo", ["undo", "--slot", "12", "--yes"], "undo of slot 12", {"slot12-000002.qver": new})]:
        prepared = lambda name: g.fresh(name) if args[0] == "insert" else (g.changed(name), args)
        histories = kept and {(new, ((first, original),)), (original, tuple(sorted(kept.items())))}
        for call, n, _ in trace(*prepared("traced")):
            game, full = prepared("kill")
            name = f"{label}, killed at {call} #{n}"
            killed = run(full, game, inject(call, "signal=KILL", n))
            check(name + ": killed", killed.returncode in (-9, 137), f"status {killed.returncode}")
            g.survives(name, game, full, {g.old, g.new}, what=what, histories=histories)


def settings_kills(g):
    """The window remembers a chosen game folder: killed before each writing system call of the settings file,
    the file is missing or whole, and the next start goes on (asking again, or using the folder)."""
    if not WINDOW:
        print("skip the settings file's kills: no window program given")
        return
    config = os.path.join(g.root, "config")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=config, WINEPREFIX=os.path.join(g.root, "none"),
               QUORLIN_TEST_AUTO_ANSWER="yes", QUORLIN_TEST_SCREENSHOT=os.path.join(g.root, "grab.png"))
    settings = os.path.join(config, "quorlin", "settings.json")

    game = g.copy("chosen")
    chosen = dict(env, QUORLIN_TEST_FOLDER=game)
    calls = [(c, n) for c, n, f in trace(game, [], program=[WINDOW], env=chosen) if "settings.json" in f]
    check("the settings file is written by the window", bool(calls), str(calls))
    for call, n in calls:
        name = f"settings file, killed at {call} #{n}"
        shutil.rmtree(config, ignore_errors=True)
        killed = subprocess.run(inject(call, "signal=KILL", n) + [WINDOW], capture_output=True, env=chosen)
        check(name + ": killed", killed.returncode in (-9, 137), f"status {killed.returncode}")
        text = open(settings).read() if os.path.exists(settings) else None
        check(name + ": missing or whole", text is None or json.loads(text).get("game_folder") == game, str(text))
        again = subprocess.run([WINDOW], capture_output=True, text=True, env=dict(env, QUORLIN_TEST_FOLDER="cancel"))
        check(name + ": the next start uses the folder or asks again", (again.returncode == 0) == (text is not None)
              and ("Do you want to choose" in again.stderr) == (text is None), again.stderr)


def failing_flushes(g):
    """Each flush, every flush, the journal's close and the third in-place write failing with EIO: reported."""
    game, args = g.fresh("eio")
    flushes = [(call, str(n)) for call, n, _ in trace(game, args) if call in ("fsync", "fdatasync")]
    for call, when in flushes + [("fsync,fdatasync", "1+"), ("close", "1"), ("pwrite64", "3")]:
        game, args = g.fresh("eio")
        only = ["-P", os.path.join(game, "resource", "quorlin.journal.quorlin-tmp")] if call == "close" else []
        r = run(args, game, inject(call, "error=EIO", when, *only))
        # A failed in-place write leaves the journal to finish the slot.
        cause = r"Error 57\n.*Input/output error.*quorlin\.journal keeps the rest" if call == "pwrite64" else "Input/output"
        g.survives(f"insert, {call} #{when} fails with EIO", game, args, {g.old, g.new}, r, cause,
                   {g.new} if call == "pwrite64" else None)


def failing_restores(g):
    """A whole restore whose copy of either backup fails half-way: reported, exit 1, that archive left as it was."""
    mixed = {g.new, g.old, (g.old[0], g.new[1]), (g.new[0], g.old[1])}
    traced = trace(g.changed("restore"), ["restore", "--yes"])
    for i, a in enumerate(ARCHIVES):
        n = [n for call, n, f in traced if call == "write" and f.startswith(a + ".quorlin-")][-1]
        game = g.changed("restore")
        r = run(["restore", "--yes"], game, inject("write", "error=ENOSPC", n))
        restored_but_a = tuple(g.new[k] if k == i else g.old[k] for k in range(2))  # its journal forgotten: this
        g.survives(f"restore, a write of the {a} copy failing", game, ["restore", "--yes"], {restored_but_a}, r,
                   r"Could not restore resource\\" + re.escape(a) + r":\n.*No space left on device\n"
                   r"The archive was left as it was\.", mixed)


def full_disk(g):
    """A small tmpfs with room for nothing, part of a backup, both backups but no journal, and everything."""
    mnt = os.path.join(g.root, "small")
    os.makedirs(mnt, exist_ok=True)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=40m", "tmpfs", mnt], capture_output=True).returncode:
        print("skip full-disk cases: no private mount namespace (run under unshare -m)")
        return
    try:
        sizes = [os.path.getsize(os.path.join(g.template, "resource", a)) for a in ARCHIVES]
        for free in [0, sizes[0] // 2, sizes[0] + 4096, sum(sizes) + 8192, sum(sizes) + 4 * 1024 * 1024]:
            game, args = g.fresh(os.path.join(mnt, "game"))
            filler, st = os.path.join(mnt, "filler"), os.statvfs(mnt)
            with open(filler, "wb") as f:
                os.posix_fallocate(f.fileno(), 0, max(0, st.f_bavail * st.f_frsize - free))
            r, name = run(args, game), f"insert with {free} bytes free"
            check(name + ": the journal named only when one is left", ("keeps the rest" in r.stderr) == pending(game),
                  r.stderr)
            os.remove(filler)
            g.survives(name, game, args, {g.old, g.new}, r if r.returncode else None, "No space left on device")
    finally:
        subprocess.run(["umount", mnt])


def index_size_limit(g):
    """A foreign index rewritten at start-up under a 100-byte file-size limit: reported, every file kept byte for byte.
    (A backup that cannot be written whole: full_disk.)"""
    game, what = g.copy("fsize"), "index rewritten under a 100-byte limit"
    res = os.path.join(game, "resource")
    open(os.path.join(res, "textures.inx"), "wb").write(b"\xff" * 444)
    files = lambda: {f: digest(os.path.join(res, f)) for f in os.listdir(res)}
    old = files()
    limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (100, resource.RLIM_INFINITY))
    r = run(["status"], game, preexec_fn=limit)
    check(what + ": every file as it was, nothing added", files() == old, str(os.listdir(res)))
    g.survives(what, game, ["status"], {g.old}, r, r"textures\.inx.*File too large")


def permissions(g):
    """A read-only archive or resource folder, and a journal the next start cannot finish, for an ordinary user."""
    nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
    explained = lambda why: (r"^Quorlin cannot change the game's files in\n\S+/resource\nbecause this user may not " + why +
                             r"\.\nGive this user permission to write there, or run Quorlin as a user who has it\.\n$")
    os.chmod(g.root, 0o755)
    folder = ("resource", 0o555, "create files in it (no permission to write in the folder)")
    for target, mode, why in [("resource/" + a, 0o444, f"change {a} in it (no permission to write the file)")
                              for a in ARCHIVES] + [folder]:
        name, (game, args) = f"insert with {target} read-only", g.fresh("perm")
        subprocess.run(["chown", "-R", "65534:65534", game], check=True)
        os.chmod(os.path.join(game, target), mode)
        r = run(args, game, nobody)
        check(name + ": refused before either archive is touched, no journal", not pending(game))
        os.chmod(os.path.join(game, target), 0o755 if mode == 0o555 else 0o644)
        g.survives(name, game, args, {g.old}, r, explained(re.escape(why)))

    game, args = g.fresh("stuck")
    run(args, game, inject("pwrite64", "signal=KILL", second_archive_write(*g.fresh("probe"))))
    subprocess.run(["chown", "-R", "65534:65534", game], check=True)
    os.chmod(os.path.join(game, "resource", "textures.mw4"), 0o444)
    stuck, r, name = state(game), run(["status"], game, nobody), "a journal that cannot be finished"
    check(name + ": the program ends with 1 and says why", r.returncode == 1 and re.search(
        r"Could not finish the interrupted Insert Skin into slot 12:\n.*textures\.mw4: Permission denied\n"
        r"It is tried again when Quorlin next starts\.", r.stderr) is not None, r.stderr)
    check(name + ": nothing written, the journal kept", state(game) == stuck and pending(game))
    os.chmod(os.path.join(game, "resource", "textures.mw4"), 0o644)
    g.survives("a journal finished once it can be", game, args, {stuck}, finals={g.new})


def failing_opens(g):
    """An archive refused (EACCES) only where it is opened for writing, or props.mw4 vanishing: nothing written."""
    for a, error in [("textures.mw4", "EACCES"), ("props.mw4", "EACCES"), ("props.mw4", "ENOENT")]:
        game, args = g.fresh("open")
        opens, path, when = os.path.join(g.root, "opens"), os.path.join(game, "resource", a), "1+"
        if error == "EACCES":  # the first open for reading and writing, not the check that it may be written
            subprocess.run(["strace", "-qq", "-o", opens, "-P", path, "-e", "trace=openat", CLI, "--game", game] + args,
                           capture_output=True)
            when, (game, args) = 1 + ["O_RDWR" in line for line in open(opens)].index(True), g.fresh("open")
        r = run(args, game, inject("openat", "error=" + error, when, "-P", path))
        name, why = f"{a} failing with {error} when opened", "Permission denied" if error == "EACCES" else "No such"
        check(name + ": no journal", not pending(game))
        g.survives(name, game, args, {g.old}, r, re.escape(a) + ".*" + why)


def png(side, rows):
    """A PNG whose header says side x side of 8-bit RGB, the rows (each after its filter byte) compressed."""
    chunk = lambda kind, data: struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 1)) + chunk(b"IEND", b""))


def pictures(g):
    """Enormous sizes and a lying header refused before any large allocation, nothing written (the texts: picture_test);
    a PNG read through the picture module, and a 4096x4096 one scaled down by insert --fit, in bounded memory."""
    game = g.copy("pictures")

    def insert(name, data, megabytes, inserted=None):  # insert --slot 12 (--fit for the large), its peak memory checked
        open(os.path.join(game, name), "wb").write(data)
        p = subprocess.Popen([CLI, "--game", game, "insert", "--slot", "12", *(["--fit"] if megabytes > 40 else []),
                              os.path.join(game, name)], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        err, (_, status, usage) = p.stderr.read(), os.wait4(p.pid, 0)
        status, kb = os.waitstatus_to_exitcode(status), usage.ru_maxrss
        if not SANITIZED:
            check(f"{name}: peak memory under {megabytes} MB", kb < megabytes * 1024, f"{kb} kB")
        if inserted:
            check(name + ": inserted", status == 0 and inserted in ("any state", state(game)), err)
        else:
            check(name + ": refused, nothing written", status == 1 and state(game) == g.old and
                  re.search(r"8000x8000|Cannot read \S*" + re.escape(name), err) is not None, err)

    bmp = open(g.picture(game), "rb").read()
    jpeg = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "skin.jpg"), "rb").read()
    sof = jpeg.index(b"\xff\xc0")
    for name, data in [("huge.bmp", bmp[:18] + struct.pack("<ii", 8000, 8000) + bmp[26:]), ("huge.png", png(8000, b"")),
                       ("huge.jpg", jpeg[:sof + 5] + struct.pack(">HH", 8000, 8000) + jpeg[sof + 9:]),
                       ("huge.tga", bytes([0, 0, 2] + [0] * 9 + [0xff, 0x7f, 0xff, 0x7f, 24, 0]) + b"\0" * 1000)]:
        insert(name, data, 40)
    # Made only now: a program started from here (vfork) takes this process's peak memory as the start of its own.
    side = 4096
    large = png(side, b"".join(b"\0" + bytes((x * 7 + y) & 255 for x in range(side * 3)) for y in range(side)))
    insert("lying.png", large[:len(large) // 3] + large[-12:], 200)  # the size of 4096, a third of the pixels
    insert("skin.png", open(os.path.join(game, "sample-skin.png"), "rb").read(), 200, g.new)
    insert("large.png", large, 200, "any state")


def flush_order(g):
    """The order that makes a power cut safe: journal flushed, renamed, folder flushed, then archives written and
    flushed before it goes (also when finished at the next start); copies flushed, renamed, folder flushed."""
    def events(game, args, extra=()):
        return [(c, f) for c, _, f in trace(game, args, "pwrite64,fdatasync,fsync,rename,unlink", extra)]

    def copied(name, ev, prefix):
        at = [i for i, (c, f) in enumerate(ev) if c == "rename" and f.startswith(prefix)]
        check(f"{name}: the copy {prefix}* flushed, renamed into place, then its folder flushed", len(at) == 1 and
              any(e in (("fsync", ev[at[0]][1]), ("fdatasync", ev[at[0]][1])) for e in ev[:at[0]]) and
              ("fsync", "resource") in ev[at[0] + 1:], str(ev))

    game, args = g.fresh("order")
    insert = events(game, args)
    events(game, args, ["-e", "inject=pwrite64:signal=KILL:when=%d" % second_archive_write(*g.fresh("probe"))])
    finishing, restore = events(game, ["status"]), events(game, ["restore", "--yes"])
    for name, ev in [("insert", insert), ("finishing a journal", finishing)]:
        gone = max([i for i, e in enumerate(ev) if e == ("unlink", "quorlin.journal")], default=-1)
        for a in ARCHIVES:
            last = max([i for i, e in enumerate(ev) if e == ("pwrite64", a)], default=len(ev))
            check(f"{name}: {a} written, flushed after its last write, then the journal removed",
                  any(e in (("fdatasync", a), ("fsync", a)) for e in ev[last:gone]), str(ev))
    first = next((i for i, (c, f) in enumerate(insert) if c == "pwrite64" and f in ARCHIVES), 0)
    last = [max([i for i, e in enumerate(insert[:first]) if e == event], default=-1) for event in
            [("fdatasync", "quorlin.journal.quorlin-tmp"), ("rename", "quorlin.journal.quorlin-tmp"), ("fsync", "resource")]]
    check("insert: the journal durable before the first archive byte", -1 < last[0] < last[1] < last[2], str(insert))
    for a in ARCHIVES:
        copied("insert", insert, a + "b.quorlin-")
        copied("restore", restore, a + ".quorlin-")


def main():
    root = tempfile.mkdtemp(prefix="quorlin-faults-")
    # The programs' settings live here, not in the home of whoever runs the suite.
    os.environ["XDG_CONFIG_HOME"] = os.path.join(root, "config")
    groups = [kills, settings_kills, flush_order, failing_flushes, failing_restores, index_size_limit, failing_opens,
              pictures]
    if os.geteuid() == 0:  # mounting, and running as an ordinary user, need root
        groups += [full_disk, permissions]
    else:
        print("skip full-disk and permission cases: not root")
    try:
        g = Game(root)
        for group in groups:
            group(g)
    finally:  # full_disk unmounts its own file system
        shutil.rmtree(root, ignore_errors=True)
    print(f"{sum(results)} of {len(results)} checks held")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())

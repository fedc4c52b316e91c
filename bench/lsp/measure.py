#!/usr/bin/env python3
"""Time from a change notification to the diagnostics zokc lsp publishes for it, and the memory the server holds.

usage: bench/lsp/measure.py ZOKC [GAME]

With GAME (a game folder, such as game/), edits its start map; without, writes a game of 1,000 maps of about 10 KB
(as bench/check does) to a temporary folder and edits one map in the middle of it. Each edit adds or removes a line
that changes the map's problems, so that every change publishes: a line of text outside a description (only that
map can change), a '.go' to a missing map (which maps are reached can) or a '.set' (which variables are set
anywhere can). Prints the median and
slowest of 20 edits of each kind, the time to the first diagnostics after opening the map, and the server's
resident memory (now and at its peak).
"""
import json, os, shutil, statistics, subprocess, sys, tempfile, time

PROSE = "Grey water laps at the stones, and gulls wheel over the rocks.\n"


def name(n, maps):
    return "start" if n == 0 else "room%d" % n


def generated_map(n, maps=1000, size=10 * 1024):
    nxt, back = name((n + 1) % maps, maps), name((n + maps - 1) % maps, maps)
    text = ".name  Room %d\n" % n
    lst = (".list\n.loop\n.opt  Walk on\n.go %s\n.tpo\n.opt  Go back\n.go %s\n.tpo\n"
           ".if lamp=0\n.opt  Take the lamp\n.set lamp\n.desc\nYou take the lamp.\n.dend\n.tpo\n.fi\n"
           ".opt  Search\n.if lamp&key\n.desc\nA glint in the dark.\n.dend\n.set gold 3\n.elif lamp\n"
           ".desc\nNothing but sand.\n.dend\n.set key\n.else\n.desc\nToo dark to see.\n.dend\n.fi\n.tpo\n"
           ".opt  Sit down\n.break\n.tpo\n.lend\n") % (nxt, back)
    block = 0
    while len(text) + len(lst) < size:
        text += ".if gold=3\n.desc\n" if block % 2 else ".desc\n"
        line = 0
        while line < 10 and len(text) + len(lst) < size:
            text += PROSE
            line += 1
        text += (".dend\n.else\n.name  Room %d\n.fi\n" % n) if block % 2 else ".dend\n"
        block += 1
    return text + lst


class Server:
    def __init__(self, zokc):
        self.proc = subprocess.Popen([zokc, "lsp"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.next_id = 0

    def send(self, message):
        body = json.dumps(dict(jsonrpc="2.0", **message)).encode()
        self.proc.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        self.proc.stdin.flush()

    def receive(self):
        length = None
        while True:
            line = self.proc.stdout.readline()
            if line in (b"\r\n", b"\n"):
                break
            if line.lower().startswith(b"content-length:"):
                length = int(line.split(b":")[1])
        return json.loads(self.proc.stdout.read(length))

    def until(self, test):
        while True:
            message = self.receive()
            if test(message):
                return message

    def memory(self):
        fields = {}
        with open("/proc/%d/status" % self.proc.pid) as status:
            for line in status:
                key, _, value = line.partition(":")
                fields[key] = value.strip()
        return fields["VmRSS"], fields["VmHWM"]


def main():
    zokc = sys.argv[1]
    scratch = tempfile.mkdtemp()
    if len(sys.argv) > 2:
        game = os.path.join(scratch, "game")
        shutil.copytree(sys.argv[2], game)
        edited = "start"
    else:
        game = os.path.join(scratch, "game")
        os.mkdir(game)
        for n in range(1000):
            with open(os.path.join(game, name(n, 1000) + ".zok"), "w") as out:
                out.write(generated_map(n))
        edited = "room500"
    path = os.path.realpath(os.path.join(game, edited + ".zok"))
    uri = "file://" + path
    text = open(path).read()
    server = Server(zokc)
    server.send(dict(id=0, method="initialize", params=dict(capabilities={})))
    server.until(lambda m: m.get("id") == 0)
    server.send(dict(method="initialized", params={}))
    started = time.perf_counter()
    server.send(dict(method="textDocument/didOpen",
                     params=dict(textDocument=dict(uri=uri, languageId="zok", version=1, text=text))))
    published = lambda m: m.get("method") == "textDocument/publishDiagnostics" and m["params"]["uri"] == uri
    server.until(published)
    opened = time.perf_counter() - started
    lines = text.count("\n")
    results = []
    version = 1
    for line in ("Some words outside a description.\n", ".go nowhere\n", ".set nowhere\n"):
        times = []
        for edit in range(20):
            version += 1
            added = edit % 2 == 0
            change = dict(range=dict(start=dict(line=lines, character=0),
                                     end=dict(line=lines + (0 if added else 1), character=0)),
                          text=line if added else "")
            started = time.perf_counter()
            server.send(dict(method="textDocument/didChange",
                             params=dict(textDocument=dict(uri=uri, version=version), contentChanges=[change])))
            server.until(published)
            times.append(time.perf_counter() - started)
        results.append("median %.1f ms, slowest %.1f ms" % (statistics.median(times) * 1000, max(times) * 1000))
    rss, peak = server.memory()
    server.send(dict(id=1, method="shutdown"))
    server.until(lambda m: m.get("id") == 1)
    server.send(dict(method="exit"))
    server.proc.wait()
    shutil.rmtree(scratch)
    maps = len([f for f in os.listdir(sys.argv[2]) if f.endswith(".zok")]) if len(sys.argv) > 2 else 1000
    print("%d maps: open to first diagnostics %.1f ms; change to diagnostics: text %s; a .go %s; a .set %s; "
          "memory %s (peak %s)" % (maps, opened * 1000, results[0], results[1], results[2], rss, peak))


if __name__ == "__main__":
    main()

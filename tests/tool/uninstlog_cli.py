#!/usr/bin/env python3
"""The authoring tool as its users run it, both builds: lint warnings, plans, stamps and trees.

    uninstlog_cli.py GROUP      runs one group of cases (see GROUPS at the end)

The native build runs directly, the Windows build through script/wine-run. Paths come from the
environment: UNINSTLOG_NATIVE, UNINSTLOG_WINDOWS, UNINST_ROOT, UNINST_EXE_FILE (the uninstaller the
tests run) and UNINST_TESTBIN_DIR. Each case runs in a folder of its own, made afresh.
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = os.environ.get("UNINST_ROOT", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
NATIVE = os.environ.get("UNINSTLOG_NATIVE", "")
WINDOWS = os.environ.get("UNINSTLOG_WINDOWS", "")
WINE_RUN = os.path.join(ROOT, "script", "wine-run")
TIMEOUT = 120  # seconds for one run of the tool; a hung run fails the case

failures = []


def fail(row, what, came, expected):
    failures.append("row %s: %s\n    came:     %r\n    expected: %r" % (row, what, came, expected))


def builds():
    """The two builds as (name, command prefix)."""
    return [("native", [NATIVE]), ("windows", [WINE_RUN, WINDOWS])]


def run(build, arguments, folder):
    """Runs one build in folder; returns (status, standard output as bytes, error output)."""
    done = subprocess.run(build[1] + arguments, cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT)
    return done.returncode, done.stdout, done.stderr.decode("latin-1")


class Folder:
    """A fresh folder of the case's own, removed afterwards."""

    def __enter__(self):
        self.path = tempfile.mkdtemp(prefix="uninstlog-cli-", dir=os.environ.get("TMPDIR"))
        return self.path

    def __exit__(self, *exception):
        shutil.rmtree(self.path, ignore_errors=True)


def log_bytes(lines, final_line_end=True):
    text = "\r\n".join(lines)
    return (text + ("\r\n" if final_line_end else "")).encode("latin-1")


def write(folder, name, data):
    path = os.path.join(folder, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


# Every text the uninstaller shows, so that a case's warnings are its own.
TEXTS = [
    "A10,Example Viewer", "A48,Uninstall", "A43,Remove %s and all of its components?", "A36,Cannot copy %s to %s.",
    "A49,Cannot start %s.", "A13,Close", "A42,Removing files...", "A58,Please wait.", "A54,Removing registry entries...",
    "A55,Updating settings...", "A50,Done.", "A44,Delete", "A45,Delete all", "A46,Close", "A51,Remove %s?",
    "A52,%s could not be deleted. Try again?", "A53,These files are left:"]
N = len(TEXTS)
TEXT_IDS = [int(t[1:t.index(",")]) for t in TEXTS]


def texts_without(*ids):
    return [t for t in TEXTS if int(t[1:t.index(",")]) not in ids]


def texts_with(id_, text):
    return [t for t in TEXTS if int(t[1:t.index(",")]) != id_] + ["A%d,%s" % (id_, text)]


# One case per warning with the smallest log that shows it: (row, log lines, final line end,
# lint options, the warnings as (line, code), and a text the first warning must say).
LINT_CASES = [
    (1, TEXTS + ["P0,C:\\App\\a.txt,0", "p0,c:\\app\\A.TXT,0"], True, [], [(N + 2, "repeat")], "text 0"),
    (2, TEXTS + ["Z7,%d" % i for i in range(20001)], True, [], [(N + 20001, "too-many-records")], "20000"),
    (3, TEXTS + ["p0,C:\\App\\a.txt,0"], True, [], [(N + 1, "no-handler")], "case-sensitive"),
    (4, TEXTS + ["x5000,C:\\App\\a.txt"], True, [], [(N + 1, "no-handler")], "passed over"),
    (5, TEXTS + ["P5,C:\\App\\a.txt,0"], True, [], [(N + 1, "key-is-text")], "text 5"),
    (6, TEXTS + ["P0,C:\\App\\f%d.txt,0" % i for i in range(20000)], True, [], [(N + 20000, "too-many-actions")], "19999"),
    (7, TEXTS + ["A%d,t" % i for i in range(1001) if i not in TEXT_IDS], True, [], [(1001, "too-many-texts")], "1000"),
    (8, TEXTS + ["J0,1,Software\\Example"], True, [], [(N + 1, "missing-last-field")], "comma"),
    (9, TEXTS + ["M0,C:\\App\\a.ini,Section"], True, [], [(N + 1, "missing-last-field")], "whole section"),
    (10, TEXTS + ["P0,C:\\App\\a.txt"], True, [], [(N + 1, "missing-last-field")], "mode"),
    (11, TEXTS + ["P0,C:\\My,App\\a.txt,0"], True, [], [(N + 1, "extra-fields")], "comma"),
    (12, TEXTS + ['K0,"C:\\App\\shared.dll"'], True, [], [(N + 1, "quoted-path")], "SharedDLLs"),
    (13, TEXTS + ['M0,"C:\\App\\a.ini",Section,Key'], True, [], [(N + 1, "quoted-path")], "quotes"),
    (14, TEXTS + ["P0,C:\\*.*,0"], True, [], [(N + 1, "refused-pattern")], "root"),
    (15, TEXTS + ["P0,a.txt,0"], True, [], [(N + 1, "refused-pattern")], "backslash"),
    (16, TEXTS + ["P0,C:\\App\\,0"], True, [], [(N + 1, "refused-pattern")], "nothing"),
    (17, TEXTS + ["U0,C:\\Windows\\*.*,1"], True, [], [(N + 1, "refused-pattern")], "well-known"),
    (18, TEXTS + ["J0,7,Software\\Example,"], True, [], [(N + 1, "refused-record")], "root"),
    (19, TEXTS + ['E0,"C:\\App\\tool.exe /s'], True, [], [(N + 1, "refused-record")], "quote"),
    (20, TEXTS + ["U0,C:\\App,0"], True, [], [(N + 1, "u-mode-0")], "P mode 0 deletes"),
    (21, TEXTS + ["E20000,C:\\App\\tool.exe"], True, [], [(N + 1, "key-phase")], "main phase"),
    (22, TEXTS + ["P1500,C:\\App\\a.txt,0"], True, [], [(N + 1, "key-phase")], "early phase"),
    (23, texts_without(51) + ["P0,C:\\App\\a.txt,1"], True, [], [(N, "missing-text")], "text 51"),
    (24, texts_without(10), True, [], [(0, "missing-text")], "text 10"),
    (25, texts_with(51, "Remove %s from %s?"), True, [], [(N, "format")], "beyond"),
    (26, texts_with(43, "Remove %d components?"), True, [], [(N, "format")], "%d"),
    (27, texts_with(53, "Files of %s:"), True, [], [(N, "format")], "as it stands"),
    (28, TEXTS + ["P0,C:\\App\\a.txt,0"], False, [], [(N + 1, "no-line-end")], "line end"),
    (29, TEXTS + ["P0,C:\\App\\uninst.exe,0", "P0,C:\\App\\readme.txt,0"], True, [], [(N + 1, "removes-itself-early")], "30003"),
    (30, TEXTS + ["P0,C:\\App\\uninstal.ini,0", "U0,C:\\App\\data,1"], True, [], [(N + 1, "removes-itself-early")], "log"),
    (31, TEXTS + ["U0,C:\\App\\data,1", "U0,C:\\App,1"], True, ["--installed-as", "C:\\App\\uninstal.ini"],
     [(N + 2, "removes-itself-early")], "first U line"),
    (32, TEXTS + [" P0,C:\\App\\a.txt,0"], True, [], [(N + 1, "ignored-record")], "blank"),
    (33, TEXTS + ["P65535,C:\\App\\a.txt,0"], True, [], [(N + 1, "ignored-record")], "65535"),
    (34, TEXTS + ["P0,C:\\App\\a.txt\0,0"], True, [], [(N + 1, "ignored-record")], "zero byte"),
    (35, TEXTS + ["P -5,C:\\App\\a.txt,0"], True, [], [(N + 1, "ignored-record")], "digits"),
    (36, TEXTS + ["P40000,C:\\App\\a.txt,0", "P40000,C:\\App\\b.txt,0"], True, [], [(N + 2, "equal-keys")], "sort"),
    (37, TEXTS + ["E0,C:\\Program Files\\App\\tool.exe /s"], True, [], [(N + 1, "unquoted-program")], "quotes"),
    (38, ["\xef\xbb\xbfP0,C:\\App\\a.txt,0"] + TEXTS, True, [], [(1, "ignored-record")], "byte-order mark"),
    (39, TEXTS + ["P0,C:\\App\\a.txt,1", "P0,c:\\app\\A.TXT,0"], True, [], [(N + 2, "same-file")], "leaves it alone"),
    (40, TEXTS + ["K0,C:\\App\\shared.dll", "P0,C:\\App\\shared.dll,0"], True, [], [(N + 2, "same-file")], "count reaches zero"),
    (41, TEXTS + ["P0,C:\\App\\*.t?t,0"], True, [], [(N + 1, "refused-pattern")], "code page"),
]

CLEAN_LOG = TEXTS + [
    "[Uninstall]", "B0,2,Example Viewer,Please close Example Viewer first.,3", "D0,C:\\App\\setup.dll,Cleanup,1,all",
    "E0,\"C:\\App\\tool.exe\" /remove", "J0,1,Software\\Example\\Viewer,", "J0,2,Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Example,",
    "J0,1,Software\\Example\\Settings,Zoom", "K0,C:\\Program Files\\Common Files\\Example\\shared.dll",
    "M0,C:\\Windows\\example.ini,Viewer,", "M0,C:\\Windows\\win.ini,Extensions,exv", "P0,C:\\App\\viewer.exe,0",
    "P0,C:\\App\\settings.ini,1", "P0,C:\\App\\*.log,0", "U0,C:\\App,1", "U0,C:\\App\\My Files,0"]


def lint_json(build, folder, name, options=()):
    status, out, err = run(build, ["lint", "--json"] + list(options) + [name], folder)
    try:
        return status, json.loads(out.decode("utf-8")), err
    except ValueError:
        return status, None, err + " / output: " + out[:200].decode("latin-1")


def group_lint_warnings():
    for row, lines, line_end, options, expected, says in LINT_CASES:
        with Folder() as folder:
            write(folder, "uninstal.ini", log_bytes(lines, line_end))
            for build in builds():
                what = "%s lint of %r" % (build[0], lines[-1][:60] if row != 24 else "texts without 10")
                status, result, err = lint_json(build, folder, "uninstal.ini", options)
                if result is None:
                    fail(row, what + ": no JSON", err, expected)
                    continue
                came = [(w["line"], w["code"]) for w in result["warnings"]]
                if came != expected:
                    fail(row, what, came, expected)
                elif says not in result["warnings"][0]["message"]:
                    fail(row, what + ": the message", result["warnings"][0]["message"], says)
                if status != 1 or result["status"] != 1:
                    fail(row, what + ": exit status", (status, result["status"]), 1)


def group_clean_log():
    with Folder() as folder:
        write(folder, "uninstal.ini", log_bytes(CLEAN_LOG))
        for build in builds():
            status, result, err = lint_json(build, folder, "uninstal.ini", ["--installed-as", "C:\\App\\uninstal.ini"])
            came = [(w["line"], w["code"], w["message"]) for w in result["warnings"]] if result else err
            if status != 0 or came != []:
                fail(1, build[0] + " lint of the clean log", (status, came), (0, []))
            status, out, err = run(build, ["lint", "uninstal.ini"], folder)
            if status != 0 or not out.endswith(b"no warnings\n"):
                fail(2, build[0] + " lint of the clean log, for people", (status, out[-200:]), (0, b"...no warnings\n"))


def group_unreadable():
    with Folder() as folder:
        for build in builds():
            for row, arguments in ((1, ["lint", "missing.ini"]), (2, ["lint", "--json", "missing.ini"]), (3, ["plan", "missing.ini"]),
                                   (4, ["plan", "--json", "missing.ini"])):
                status, out, err = run(build, arguments, folder)
                if status != 2:
                    fail(row, "%s %s" % (build[0], " ".join(arguments)), status, 2)
                if "--json" in arguments and arguments[0] == "lint" and b'"status": 2' not in out:
                    fail(row, build[0] + " lint --json of a missing log", out, '"status": 2')


def read_tail_name(data):
    """The tail rule, written from its description: the name the uninstaller reads from its last 256 bytes."""
    if len(data) < 256:
        return "uninstal.ini"
    t = data[-256:]
    if t[254] == 0:
        return "uninstal.ini"
    start = 1
    for i in range(1, 254):
        if t[i] == 0:
            start = i + 1
    end = start
    while end < 256 and t[end] != 0:
        end += 1
    return t[start:end].decode("latin-1")


def image_end(data):
    """Where a PE file's headers, sections and symbols end."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, symbols_at, symbols = struct.unpack_from("<HxxxxII", data, pe + 6)
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    end = struct.unpack_from("<I", data, pe + 24 + 60)[0]
    table = pe + 24 + optional_size
    for i in range(sections):
        raw_size, raw_at = struct.unpack_from("<II", data, table + 40 * i + 16)
        if raw_size:
            end = max(end, raw_at + raw_size)
    if symbols_at:
        strings = symbols_at + 18 * symbols
        end = max(end, strings + struct.unpack_from("<I", data, strings)[0])
    return end


REFUSED_NAMES = [
    (1, ""), (2, "n" * 255), (3, "a<b"), (4, "a>b"), (5, "C:\\abs.ini"), (6, 'a"b'), (7, "a|b"), (8, "a?b"), (9, "a*b"),
    (10, "a/b.ini"), (11, "\\lead.ini"), (12, "trail\\"), (13, "a\\\\b.ini"), (14, "name."), (15, "name "), (16, "sub.\\x.ini"),
    (17, "a\x01b"), (18, "n" * 300)]
ACCEPTED_NAMES = [(1, "uninstall.ini"), (2, "n" * 254), (3, "n" * 253), (4, "..\\beside.ini"), (5, "sub\\log one.ini"), (6, "x")]


def group_stamp_names():
    for product in sorted(set([os.environ["UNINST_EXE_FILE"], os.environ["UNINST_PRODUCT_FILE"]])):
        stamp_names(open(product, "rb").read())


def stamp_names(original):
    end = image_end(original)
    with Folder() as folder:
        for build in builds():
            exe = os.path.join(folder, "uninst.exe")
            for row, name in REFUSED_NAMES:
                write(folder, "uninst.exe", original + b"earlier.ini\0")
                status, out, err = run(build, ["stamp", "uninst.exe", name], folder)
                if status != 1:
                    fail(row, "%s stamp of the refused name %r: exit status" % (build[0], name), (status, err), 1)
                if open(exe, "rb").read() != original + b"earlier.ini\0":
                    fail(row, "%s stamp of the refused name %r changed the file" % (build[0], name), "changed", "unchanged")
            for row, name in ACCEPTED_NAMES:
                write(folder, "uninst.exe", original + b"earlier.ini\0" + b"\0" * 3)
                status, out, err = run(build, ["stamp", "uninst.exe", name], folder)
                data = open(exe, "rb").read()
                if status != 0:
                    fail(row, "%s stamp of %r: exit status" % (build[0], name), (status, err), 0)
                elif read_tail_name(data) != name:
                    fail(row, "%s stamp of %r: the name in the tail" % (build[0], name), read_tail_name(data), name)
                elif data[:end] != original[:end] or len(data) > end + len(name) + 2:
                    fail(row, "%s stamp of %r: the image and nothing but one name after it" % (build[0], name),
                         (len(data), data[end:]), (end, name))


def group_stamp_files():
    testbin = os.environ["UNINST_TESTBIN_DIR"]
    product = open(os.environ["UNINST_EXE_FILE"], "rb").read()
    pe = struct.unpack_from("<I", product, 0x3C)[0]
    magic = struct.unpack_from("<H", product, pe + 24)[0]
    certificates = pe + 24 + (96 if magic == 0x10B else 112) + 8 * 4
    signed = product[:certificates] + struct.pack("<II", len(product), 16) + product[certificates + 8:] + b"\0" * 16
    files = [(1, "a text file", b"[Uninstall]\r\nA10,x\r\n"),
             (2, "the trace program", open(os.path.join(testbin, "trace.exe"), "rb").read()),
             (3, "a library", open(os.path.join(testbin, "testlib.dll"), "rb").read()),
             (4, "the tool itself", open(WINDOWS, "rb").read()),
             (5, "the uninstaller cut short", product[:len(product) // 2]),
             (6, "a signed uninstaller", signed),
             (7, "an empty file", b"")]
    with Folder() as folder:
        for build in builds():
            for row, what, data in files:
                path = write(folder, "target.exe", data)
                status, out, err = run(build, ["stamp", "target.exe", "uninstal.ini"], folder)
                if status != 1 or "refused" not in err:
                    fail(row, "%s stamp of %s" % (build[0], what), (status, err), (1, "...refused..."))
                if open(path, "rb").read() != data:
                    fail(row, "%s stamp of %s changed it" % (build[0], what), "changed", "unchanged")


def substituted(template):
    """A system test's log with fixed paths in place of the test's own, its fixture lines left out."""
    marks = [("{TRACE}", '"C:\\testbin\\trace.exe" C:\\plan\\dir\\trace.txt'), ("{DIRUPPER}", "C:\\PLAN\\DIR"), ("{DIR}", "C:\\plan\\dir"),
             ("{APP}", "C:\\plan\\dir\\app"), ("{TEMP}", "C:\\plan\\dir\\temp"), ("{TESTBIN}", "C:\\testbin"), ("{UNIQUE}", "Plan.Unique")]
    lines = []
    for line in open(template, encoding="latin-1").read().splitlines():
        if line.startswith("#"):
            continue
        for mark, value in marks:
            line = line.replace(mark, value)
        lines.append(line)
    return log_bytes(lines)


def ascii_logs():
    """The ASCII logs of the tests: the system tests' logs, the lint cases, the clean log, the fuzzers' seeds."""
    logs = []
    folder = os.path.join(ROOT, "tests", "system", "logs")
    for name in sorted(os.listdir(folder)):
        if name.endswith(".log"):
            logs.append(("system test log " + name, substituted(os.path.join(folder, name))))
    for row, lines, line_end, options, expected, says in LINT_CASES:
        if row not in (2, 6, 7):  # the table-filling ones are checked by the lint cases on both builds
            logs.append(("lint case %d" % row, log_bytes(lines, line_end)))
    logs.append(("the clean log", log_bytes(CLEAN_LOG)))
    seeds = os.path.join(ROOT, "tests", "fuzz", "corpus", "reader")
    for name in sorted(os.listdir(seeds)):
        logs.append(("reader seed " + name, open(os.path.join(seeds, name), "rb").read()[1:]))  # the first byte steers the fuzzer
    return [(what, data) for what, data in logs if all(b < 128 for b in data)]


def group_same_plan():
    with Folder() as folder:
        for row, (what, data) in enumerate(ascii_logs(), 1):
            write(folder, "uninstal.ini", data)
            outputs = {}
            for build in builds():
                outputs[build[0]] = [run(build, arguments, folder)[:2] for arguments in
                                     (["plan", "uninstal.ini"], ["plan", "--json", "uninstal.ini"], ["lint", "--json", "uninstal.ini"])]
            for k, kind in enumerate(("plan", "plan --json", "lint --json")):
                if outputs["native"][k] != outputs["windows"][k]:
                    fail(row, "%s of %s: native and Windows builds differ" % (kind, what), outputs["native"][k][1][:300],
                         outputs["windows"][k][1][:300])
            if outputs["native"][0][0] != 0:
                fail(row, "plan of %s: exit status" % what, outputs["native"][0][0], 0)


def group_high_bytes_note():
    note = b"this build compares texts by folding A to Z only"
    with Folder() as folder:
        for row, data, said in ((1, log_bytes(TEXTS + ["P0,C:\\App\\r\xe9sum\xe9.txt,0"]), 1), (2, log_bytes(TEXTS), 0)):
            write(folder, "uninstal.ini", data)
            for build in builds():
                expected = said if build[0] == "native" else 0
                for arguments in (["plan", "uninstal.ini"], ["lint", "uninstal.ini"], ["plan", "--json", "uninstal.ini"]):
                    status, out, err = run(build, arguments, folder)
                    if out.count(note) != expected:
                        fail(row, "%s %s: the note on bytes above 127" % (build[0], " ".join(arguments)), out.count(note), expected)


def group_tree():
    installed = "C:\\Program Files\\Example"
    with Folder() as folder:
        for path in ("app\\viewer.exe", "app\\uninst.exe", "app\\uninstal.ini", "app\\settings.ini", "app\\data\\user.db",
                     "app\\data\\cache\\x.bin", "app\\help\\index.htm"):
            write(folder, path.replace("\\", os.sep), b"x")
        os.makedirs(os.path.join(folder, "app", "empty"))
        outputs = {}
        for build in builds():
            status, out, err = run(build, ["tree", "app", installed, "--ask", "settings.ini", "--ask", "data\\user.db",
                                           "--product", "Example Viewer"], folder)
            outputs[build[0]] = out
            if status != 0:
                fail(1, build[0] + " tree", (status, err), 0)
                continue
            lines = out.decode("latin-1").split("\r\n")
            records = [l for l in lines if l[:1] in ("P", "U")]
            expected = ["P0,%s\\settings.ini,1" % installed, "P0,%s\\data\\user.db,1" % installed, "U0,%s,1" % installed]
            if records != expected:
                fail(2, build[0] + " tree: its records", records, expected)
            if "A10,Example Viewer" not in lines or not out.endswith(b"\r\n"):
                fail(3, build[0] + " tree: product name and line ends", out[:80], "A10,Example Viewer ... CR LF")
            write(folder, "tree.ini", out)
            for check in builds():
                status, result, err = lint_json(check, folder, "tree.ini", ["--installed-as", installed + "\\uninstal.ini"])
                if status != 0 or result["warnings"]:
                    fail(4, "%s lint of the %s tree's log" % (check[0], build[0]), result and result["warnings"], [])
        if outputs.get("native") != outputs.get("windows"):
            fail(5, "tree: native and Windows builds differ", outputs.get("native"), outputs.get("windows"))
        refused = [(6, ["relative\\path"]), (7, ["C:\\"]), (8, ["C:\\Windows"]), (9, ["C:\\Program Files"]), (10, ["C:\\My,App"]),
                   (11, ['C:\\a"b']), (12, ["C:\\a*b"]), (13, ["C:\\App", "--ask", "nothing.txt"]),
                   (14, ["C:\\" + "\\".join(["p" * 100] * 5)])]
        for row, arguments in refused:
            for build in builds():
                status, out, err = run(build, ["tree", "app"] + arguments, folder)
                if status != 1 or out:
                    fail(row, "%s tree app %s" % (build[0], " ".join(arguments)), (status, out[:80], err), (1, b""))
        for build in builds():
            status, out, err = run(build, ["tree", "no such folder", installed], folder)
            if status != 2:
                fail(15, build[0] + " tree of a missing folder", (status, err), 2)


def group_demo_log():
    for row, options in ((1, []), (2, ["--gui"])):
        with Folder() as folder:
            done = subprocess.run([os.path.join(ROOT, "script", "demo"), "--print-log"] + options, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, timeout=TIMEOUT)
            if done.returncode != 0 or not done.stdout:
                fail(row, "script/demo --print-log " + " ".join(options), (done.returncode, done.stderr[-300:]), 0)
                continue
            write(folder, "uninst-demo.ini", done.stdout)
            for build in builds():
                status, result, err = lint_json(build, folder, "uninst-demo.ini",
                                                ["--installed-as", "C:\\Program Files\\Demo Viewer\\uninst-demo.ini"])
                if status != 0 or not result or result["warnings"]:
                    fail(row, build[0] + " lint of the demo's log " + " ".join(options), (status, result and result["warnings"], err),
                         (0, []))


# The reader's worked example of the log format (its last line has no line end).
EXAMPLE = [
    "[Uninstall]", "A10,Example Viewer", "A48,Uninstall", "A43,Remove %s and all of its components?",
    "P0,c:\\Program Files\\Example\\viewer.exe,0", "P0,c:\\Program Files\\Example\\readme.txt,0",
    "B0,2,Example Viewer,Please close Example Viewer first.,3", "", "P0,C:\\Program Files\\Example\\VIEWER.EXE,0",
    "J0,1,Software\\Example\\Viewer,", "P40000,c:\\Program Files\\Example\\help.txt,0", "P0,c:\\Program Files\\Example\\license.txt,0",
    "U0,c:\\Program Files\\Example,0", "A10,Example Viewer 2", "P0,c:\\Program Files\\Example\\last.txt,0"]


def group_worked_example():
    with Folder() as folder:
        write(folder, "uninstal.ini", log_bytes(EXAMPLE, final_line_end=False))
        for build in builds():
            status, out, err = run(build, ["plan", "--json", "uninstal.ini"], folder)
            plan = json.loads(out.decode("utf-8"))
            actions = [(a["key"], a["line"], a["type"], a["phase"]) for a in plan["actions"]]
            expected = [(3999, 7, "B", "early"), (19999, 10, "J", "main"), (30001, 5, "P", "main"), (30002, 6, "P", "main"),
                        (30004, 12, "P", "main"), (40000, 11, "P", "main"), (64999, 13, "U", "main")]
            if actions != expected:
                fail(1, build[0] + " plan of the worked example: actions", actions, expected)
            texts = [(t["id"], t["line"], t["text"]) for t in plan["texts"]]
            expected = [(0, 9, "C:\\Program Files\\Example\\VIEWER.EXE,0"), (10, 14, "Example Viewer 2"), (43, 4, "Remove %s and all of its components?"),
                        (48, 3, "Uninstall")]
            if texts != expected:
                fail(2, build[0] + " plan of the worked example: texts", texts, expected)
            ignored = [i["line"] for i in plan["ignored"]]
            if ignored != [1, 2, 9, 15]:
                fail(3, build[0] + " plan of the worked example: lines that do nothing", ignored, [1, 2, 9, 15])
            progress = [(a["key"], [p["text"] for p in a["progress"]], a["pause"]) for a in plan["actions"] if a["progress"] or a["pause"]]
            if progress != [(19999, [54], False), (30001, [42, 58], False), (64999, [], True)]:
                fail(4, build[0] + " plan of the worked example: milestones", progress, "54, 42 and 58, the pause")
            if plan["title"] != "Uninstall Example Viewer 2":
                fail(5, build[0] + " plan of the worked example: title", plan["title"], "Uninstall Example Viewer 2")


GROUPS = {
    "LintWarnings": group_lint_warnings,
    "CleanLog": group_clean_log,
    "Unreadable": group_unreadable,
    "StampNames": group_stamp_names,
    "StampFiles": group_stamp_files,
    "SamePlanOnBothBuilds": group_same_plan,
    "HighBytesNote": group_high_bytes_note,
    "Tree": group_tree,
    "DemoLogLintsClean": group_demo_log,
    "WorkedExample": group_worked_example,
}

if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in GROUPS:
        print("usage: uninstlog_cli.py " + "|".join(GROUPS), file=sys.stderr)
        sys.exit(2)
    for tool in (NATIVE, WINDOWS):
        if not os.path.isfile(tool):
            print("uninstlog_cli: no tool at %r (script/build makes both builds)" % tool, file=sys.stderr)
            sys.exit(1)
    GROUPS[sys.argv[1]]()
    for f in failures:
        print("FAIL " + f)
    print("%s: %s" % (sys.argv[1], "%d failures" % len(failures) if failures else "passed"))
    sys.exit(1 if failures else 0)

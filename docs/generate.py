#!/usr/bin/env python3
"""Produces every output the README and the guide show, and checks or rewrites them.

A page marks each generated block with an HTML comment before it and one after it:

    <!-- output: NAME -->     what the session NAME below prints
    <!-- include: PATH -->    the file PATH (relative to the repository) as it is
    <!-- include: PATH#NAME -->  the lines of PATH between "// [NAME]" and the next
                                 "// [end]", without their common indentation
    <!-- example: NAME -->    docs/examples/NAME.ini, then what vantrel-config prints
                              for it (standard output, then standard error)
    <!-- end -->

A session runs in a fresh scratch directory holding the guide's example programs
(built from docs/examples/*.cpp), a link `docs` to this directory, and the tools
on PATH. Its shown commands appear after "$ " followed by what they print
(standard output and standard error together); a session without shown commands
shows only what its commands print. Times, process and thread ids, elapsed
times and build stamps are replaced by fixed values, so that a block only
changes when the behaviour does.

    docs/generate.py --build BUILD_DIR            check: exit status 1 and a diff on drift
    docs/generate.py --build BUILD_DIR --write    rewrite the blocks in place
"""

import argparse
import difflib
import os
import re
import shutil
import subprocess
import sys
import tempfile

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PAGES = ["README.md"] + sorted(
    "docs/" + name for name in os.listdir(os.path.join(SOURCE, "docs")) if name.endswith(".md"))


class Session:
    """Commands run by sh in one scratch directory.

    setup: commands run first and not shown; shown: commands shown with their
    output; quiet: commands whose output alone is shown; files: name -> text
    written into the directory first; excerpt: a function of the directory that
    gives the block instead of the commands' output.
    """

    def __init__(self, setup=(), shown=(), quiet=(), files=None, excerpt=None):
        self.setup, self.shown, self.quiet = list(setup), list(shown), list(quiet)
        self.files, self.excerpt = files or {}, excerpt


def xml_excerpt(path, head, tail):
    """The document at `path` up to the end of its `head`-th Msg element, a line
    "...", and its last `tail` Msg elements with the end of the document."""
    lines = open(path).read().splitlines(keepends=True)
    ends = [i for i, line in enumerate(lines) if line.startswith("</Msg>")]
    starts = [i for i, line in enumerate(lines) if line.startswith("<Msg")]
    first_end = ends[head - 1] + 1
    last_start = starts[-tail]
    return "".join(lines[:first_end]) + "...\n" + "".join(lines[last_start:])


def last_orders_file(scratch):
    logs = os.path.join(scratch, "logs")
    return os.path.join(logs, sorted(os.listdir(logs))[-1])


HELLO_SETUP = ["cp docs/examples/first.ini hello_trace.ini", "./hello"]
WF_DEBUG_SETUP = [
    "cp docs/examples/display.ini wf_trace.ini",
    "echo 'display_mask = display_mask | steps_mask | debug_mask;' >> wf_trace.ini",
]
ORDERS_RUN = "mkdir -p logs && QZ_TRACE_LOGDIR=logs ./orders"
SERVER_INI = """active = true;
importance = l;                       // L and XL, so warnings and errors too
size = 50000;
"""

SESSIONS = {
    # README.md
    "readme-hello": Session(shown=[
        "echo 'active = true; importance = l;' > hello_trace.ini",
        "./hello && cat hello_*_trace.log"]),
    "readme-config": Session(files={"server_trace.ini": SERVER_INI}, shown=[
        "cat server_trace.ini",
        "vantrel-config --name server server_trace.ini",
        "printf 'size = 20;\\necho(size);\\n' | vantrel-config"]),
    "readme-top": Session(shown=["vantrel-timeline --top 10 --merge-ids docs/examples/shop.log"]),
    # docs/getting-started.md
    "hello": Session(shown=["cp docs/examples/first.ini hello_trace.ini", "./hello",
                            "cat hello_*_trace.log"]),
    "hello-config": Session(setup=["cp docs/examples/first.ini hello_trace.ini"],
                            shown=["vantrel-config hello_trace.ini"]),
    "orders": Session(shown=[
        ORDERS_RUN, "ls logs", "for f in logs/*; do xmllint --xpath 'count(//Msg)' $f; done",
        "xmllint --noout logs/* && echo well-formed"]),
    # docs/text-log.md
    "text-line": Session(setup=HELLO_SETUP, quiet=["grep disk hello_*_trace.log"]),
    "text-workflow": Session(setup=["cp docs/examples/display.ini wf_trace.ini"],
                             quiet=["./wf && cat wf_*_trace.log"]),
    "text-workflow-debug": Session(setup=WF_DEBUG_SETUP, quiet=["./wf && cat wf_*_trace.log"]),
    "text-nested": Session(files={"wf_trace.ini": "active = true;\ndisplay_mask = debug_mask;\n"},
                           shown=["./wf nested && cat wf_*_trace.log",
                                  "awk -F'|' 'NF > 21 && $3 != \" \"' wf_*_trace.log"]),
    # docs/environment.md
    "debug-trace": Session(setup=["cp docs/examples/first.ini hello_trace.ini",
                                  "QZ_TRACE_ECHO=1 ./hello > echo.txt"],
                           quiet=["sed -n 1,2p echo.txt; echo ...; grep -m 2 -e 'LogOfstream::open'"
                                  " -e 'do_header_file (): opened' echo.txt"]),
    # docs/coming-from.md
    "coming-from": Session(files={"audit_trace.ini": "active = true;\n"}, shown=[
        "./coming_from && cat coming_from_*_trace.log", "ls coming_from_*"]),
    # docs/threads-fork-signals.md
    "goodbye": Session(shown=[
        "QZ_TRACE_XML=1 ./goodbye",
        "grep -h '^from' goodbye_*_trace.xml; tail -n 2 goodbye_*_trace.xml"]),
    # docs/xml-log.md
    "xml-document": Session(setup=[ORDERS_RUN],
                            excerpt=lambda scratch: xml_excerpt(last_orders_file(scratch), 2, 2)),
}

# Fixed values that replace what changes from run to run.
FIXED_TIME = "2026/12/06 00:42:25.546"
FIXED_BUILD = 'Build="Build release at Dec  6 2026 00:40:47 on linux GCC (__GNUC__ = 12)"'
FIXED_ELAPSED = "0.001"
FIRST_ID = 32585
FILE_TIME_BASE = (2026, 12, 6, 0, 42, 25, 546)

TEXT_HEAD = re.compile(r"^(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d+\|[^|]*\|[^|]*\|[^|]*\|)"
                       r"( *\d+)\|( *\d+)\|", re.M)
XML_ID = re.compile(r'\b(Pid|Tid)="(\d+)"')
DEBUG_LINE = re.compile(r'^("[^"]*", line )\d+(: \(Thr-)(\d+)\)', re.M)
FILE_NAME = re.compile(r"(\w+?)_(\d+)_(\d{4}_\d\d_\d\d_\d\d_\d\d_\d\d_\d{3})_trace\.")
CLOSE_ELAPSED = re.compile(r"(#[^\s|<>:]*): \d[\d:.]*$", re.M)


def normalise(text):
    ids = {}

    def fixed_id(raw):
        return ids.setdefault(raw.strip(), str(FIRST_ID + len(ids)))

    text = TEXT_HEAD.sub(lambda m: m.group(1) + fixed_id(m.group(2)).rjust(5) + "|" +
                         fixed_id(m.group(3)).rjust(4) + "|", text)
    text = XML_ID.sub(lambda m: '%s="%s"' % (m.group(1), fixed_id(m.group(2))), text)
    # A debug line's source line number changes with every edit of the library.
    text = DEBUG_LINE.sub(lambda m: m.group(1) + "NN" + m.group(2) + fixed_id(m.group(3)) + ")",
                          text)
    file_times = {}

    def fixed_file_name(m):
        # A destination's files keep their order, one millisecond apart; the
        # files of different destinations start at the same time.
        times = file_times.setdefault(m.group(1), {})
        step = times.setdefault(m.group(3), len(times))
        y, mo, d, h, mi, s, ms = FILE_TIME_BASE
        stamp = "%04d_%02d_%02d_%02d_%02d_%02d_%03d" % (y, mo, d, h, mi, s, ms + step)
        return "%s_%s_%s_trace." % (m.group(1), fixed_id(m.group(2)), stamp)

    text = FILE_NAME.sub(fixed_file_name, text)
    text = re.sub(r"\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}", FIXED_TIME, text)
    text = re.sub(r'Build="[^"]*"', FIXED_BUILD, text)
    text = CLOSE_ELAPSED.sub(lambda m: m.group(1) + ": " + FIXED_ELAPSED, text)
    # Source positions name the example file, not where the build found it.
    return re.sub(r"[^\s\"']*/docs/examples/", "", text)


def run(command, scratch, env):
    done = subprocess.run(["sh", "-c", command], cwd=scratch, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=120)
    return done.stdout.decode("utf-8", "replace")


def produce(session, build):
    scratch = tempfile.mkdtemp(prefix="vantrel_guide_")
    try:
        programs = os.path.join(build, "docs", "examples")
        for name in os.listdir(programs):
            path = os.path.join(programs, name)
            if os.path.isfile(path) and os.access(path, os.X_OK):
                shutil.copy(path, scratch)
        os.symlink(os.path.join(SOURCE, "docs"), os.path.join(scratch, "docs"))
        for name, content in session.files.items():
            with open(os.path.join(scratch, name), "w") as out:
                out.write(content)
        env = {key: value for key, value in os.environ.items()
               if not key.startswith(("QZ_TRACE_", "MYHOST_"))}
        env["PATH"] = os.path.join(build, "tools") + os.pathsep + env.get("PATH", "")
        env["LC_ALL"] = "C"
        for command in session.setup:
            run(command, scratch, env)
        shown = ""
        for command in session.shown:
            shown += "$ " + command + "\n" + run(command, scratch, env)
        for command in session.quiet:
            shown += run(command, scratch, env)
        if session.excerpt:
            shown = session.excerpt(scratch)
        return normalise(shown)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


MARKER = re.compile(r"<!-- (output|include|example): (\S+) -->\n(.*?)<!-- end -->", re.S)


def fence(body, language):
    return "```%s\n%s```\n" % (language, body if body.endswith("\n") or not body else body + "\n")


def region(text, name):
    """The lines between "// [name]" and the next "// [end]", dedented."""
    lines = text.splitlines(keepends=True)
    starts = [i for i, line in enumerate(lines) if line.strip() == "// [%s]" % name]
    if len(starts) != 1:
        raise SystemExit("generate.py: region [%s] found %d times" % (name, len(starts)))
    end = next((i for i in range(starts[0] + 1, len(lines)) if lines[i].strip() == "// [end]"),
               None)
    if end is None:
        raise SystemExit("generate.py: region [%s] has no [end]" % name)
    body = lines[starts[0] + 1:end]
    indent = min((len(line) - len(line.lstrip()) for line in body if line.strip()), default=0)
    return "".join(line[indent:] if line.strip() else "\n" for line in body)


def example_session(name):
    """vantrel-config on a configuration example as the guide's host "myhost" runs it. Its
    exit status shows only when it is not 1 after an "error: " and 0 otherwise."""
    command = ("vantrel-config --name myhost --logdir /var/log/myhost --configfile"
               " /etc/myhost/myhost_trace.ini docs/examples/%s.ini > .out 2> .err" % name)
    return Session(quiet=[command + "; status=$?; cat .out .err; grep -q 'error: ' .err;"
                          " [ $((1 - $?)) = $status ] || echo \"exit status $status\""])


def block_for(kind, name, build, cache):
    if kind == "example":
        path = "docs/examples/%s.ini" % name
        if path not in cache:
            cache[path] = produce(example_session(name), build)
        return fence(open(os.path.join(SOURCE, path)).read(), "ini") + "\n" + fence(
            cache[path], "text")
    if kind == "include":
        path, _, part = name.partition("#")
        language = {".cpp": "cpp", ".ini": "ini", ".log": "text"}.get(os.path.splitext(path)[1], "")
        text = open(os.path.join(SOURCE, path)).read()
        return fence(region(text, part) if part else text, language)
    if name not in SESSIONS:
        raise SystemExit("generate.py: no session named %r" % name)
    if name not in cache:
        cache[name] = produce(SESSIONS[name], build)
    language = "xml" if cache[name].startswith("<?xml") else "text"
    return fence(cache[name], language)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the build directory")
    parser.add_argument("--write", action="store_true", help="rewrite the pages")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    cache, drifted = {}, []
    for page in PAGES:
        path = os.path.join(SOURCE, page)
        old = open(path).read()
        new = MARKER.sub(lambda m: "<!-- %s: %s -->\n%s<!-- end -->" % (
            m.group(1), m.group(2), block_for(m.group(1), m.group(2), build, cache)), old)
        if new == old:
            continue
        if args.write:
            with open(path, "w") as out:
                out.write(new)
            print("rewrote", page)
        else:
            drifted.append(page)
            sys.stdout.writelines(difflib.unified_diff(
                old.splitlines(True), new.splitlines(True), page + " (shown)", page + " (run)"))
    examples = {"docs/examples/" + name
                for name in os.listdir(os.path.join(SOURCE, "docs", "examples"))
                if name.endswith(".ini")}
    unused = sorted((set(SESSIONS) | examples) - set(cache))
    if unused:
        print("generate.py: sessions and examples shown on no page:", ", ".join(unused))
    if drifted:
        print("\nThe pages above differ from what the programs print; after checking the"
              " change, run `make docs` to rewrite them.")
    return 1 if drifted or unused else 0


if __name__ == "__main__":
    sys.exit(main())

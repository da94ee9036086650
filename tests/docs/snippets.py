#!/usr/bin/python3
"""Runs every command and code snippet of README.md and docs/*.md against an
installed vorlex, as a newcomer would paste them, so the text and what it
shows cannot drift apart (as Python's doctest and zstd's documented
examples do).

    snippets.py PREFIX SOURCE_DIR [FILE.md...]

A fenced block whose language is sh, c, cpp or python is run; any other
language must be marked as not run; blocks without a language (output,
layouts) are text. Each block runs on its own in a fresh folder holding the
files the docs talk about (big.log, data, a, b, logs/, src/, app.c, app.cpp,
examples/, in.h5), with the prefix's bin/ first on PATH and pkg-config,
Python and HDF5 pointed at the prefix, nothing else. An HTML comment on the
line before the block (blank lines between allowed) says what is special:

    <!-- snippet: skip (why it cannot run here) -->
    <!-- snippet: prefix P -->        the word P stands for the install prefix
    <!-- snippet: declarations -->    C declarations, compiled but not run

sh runs under bash -e -o pipefail; c and cpp blocks with a main() are
compiled with pkg-config's flags and the prefix's run path, and run; python
runs with /usr/bin/python3.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

RUN = {"sh", "c", "cpp", "python"}
DIRECTIVE = re.compile(r"^<!--\s*snippet:\s*(\w+)\s*(.*?)\s*-->\s*$")
TIMEOUT = 120


def blocks(path):
    """(line, language, directive, argument, text) of every fenced block."""
    lines = open(path, encoding="utf-8").read().split("\n")
    i = 0
    while i < len(lines):
        m = re.match(r"^```(\w*)\s*$", lines[i])
        if not m:
            i += 1
            continue
        start, lang = i, m.group(1)
        j = i + 1
        while j < len(lines) and not lines[j].startswith("```"):
            j += 1
        k = start - 1
        while k >= 0 and not lines[k].strip():
            k -= 1
        d = DIRECTIVE.match(lines[k]) if k >= 0 else None
        yield (start + 1, lang, d.group(1) if d else None, d.group(2) if d else "",
               "\n".join(lines[start + 1:j]) + "\n")
        i = j + 1


def make_fixtures(root, source, env):
    """The files the docs' examples name, made once and copied per block."""
    text = b"".join(open(p, "rb").read() for p in
                    [os.path.join(source, "README.md")] +
                    sorted(glob.glob(os.path.join(source, "docs", "*.md"))))
    def write(name, data):
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    write("big.log", text * 4)
    write("data", text * 2)
    write("data.bin", text + bytes(range(256)) * 200)
    write("a", b"first file\n" * 100)
    write("b", b"second file\n" * 100)
    write("logs/1.log", text[:50000])
    write("logs/old/2.log", text[50000:90000])
    write("src/main.c", b"int main(void) { return 0; }\n" * 50)
    write("src/README", text[:20000])
    shutil.copytree(os.path.join(source, "examples"), os.path.join(root, "examples"))
    shutil.copy(os.path.join(source, "examples", "frame.c"), os.path.join(root, "app.c"))
    write("app.cpp", APP_CPP.encode())
    # in.h5 for the HDF5 tools, when h5py is there (as the setup installs it).
    subprocess.run(["/usr/bin/python3", "-c", MAKE_H5], cwd=root, env=env, check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


APP_CPP = r"""#include <cstdio>
#include <string>
#include <vorlex/vorlex.hpp>

int main() {
    const std::string text(10000, 'x');
    const vorlex::Bytes in(text.begin(), text.end());
    const vorlex::Codec codec = vorlex::Codec::find("lzjb");
    vorlex::Bytes packed, back;
    if (!codec || codec.compress(in, packed) < 0 || codec.decompress(packed, back, in.size()) < 0 ||
        back != in) {
        return 1;
    }
    std::printf("%zu -> %zu\n", in.size(), packed.size());
    return 0;
}
"""

MAKE_H5 = """
import h5py, numpy as np
with h5py.File("in.h5", "w") as f:
    f.create_dataset("x", data=np.arange(20000) % 1000, chunks=(4096,))
    f.create_dataset("y", data=np.zeros((64, 64)), chunks=(32, 32))
"""


def compile_and_run(lang, text, work, env, run):
    cc = ["cc", "-std=c11"] if lang == "c" else ["c++", "-std=c++17"]
    src = os.path.join(work, "snippet." + lang)
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "vorlex"], env=env,
                           check=True, capture_output=True, text=True).stdout.split()
    libdir = subprocess.run(["pkg-config", "--variable=libdir", "vorlex"], env=env,
                            check=True, capture_output=True, text=True).stdout.strip()
    if not run:
        text = "#include <vorlex/vorlex.h>\n" + text
    with open(src, "w") as f:
        f.write(text)
    cmd = cc + ["-Wall", "-Werror", src] + flags
    cmd += ["-o", os.path.join(work, "snippet"), "-Wl,-rpath," + libdir] if run else ["-fsyntax-only"]
    r = subprocess.run(cmd, cwd=work, env=env, capture_output=True, text=True, timeout=TIMEOUT)
    if r.returncode != 0 or not run:
        return r
    with open(os.devnull, "rb") as stdin:
        return subprocess.run([os.path.join(work, "snippet")], cwd=work, env=env, stdin=stdin,
                              capture_output=True, timeout=TIMEOUT)


def main():
    prefix, source = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    files = sys.argv[3:] or [os.path.join(source, "README.md")] + sorted(
        glob.glob(os.path.join(source, "docs", "*.md")))
    tmp = tempfile.mkdtemp(prefix="vorlex-snippets-")
    env = {
        "PATH": os.path.join(prefix, "bin") + ":/usr/bin:/bin",
        "HOME": tmp,
        "LC_ALL": "C",
        "PKG_CONFIG_PATH": os.path.join(prefix, "lib", "pkgconfig"),
        "PYTHONPATH": os.path.join(prefix, "lib", "python3", "dist-packages"),
        "PYTHONDONTWRITEBYTECODE": "1",
        "HDF5_PLUGIN_PATH": os.path.join(prefix, "lib", "hdf5", "plugin"),
    }
    failures, ran, skipped = [], 0, 0
    try:
        fixtures = os.path.join(tmp, "fixtures")
        os.makedirs(fixtures)
        make_fixtures(fixtures, source, env)
        for path in files:
            name = os.path.relpath(path, source)
            for line, lang, directive, argument, text in blocks(path):
                where = f"{name}:{line}"
                if directive == "skip":
                    if not argument:
                        failures.append(f"{where}: 'skip' needs a reason")
                    skipped += 1
                    continue
                if lang not in RUN:
                    if lang:
                        failures.append(f"{where}: a '{lang}' block neither run nor marked skip")
                    continue
                if directive not in (None, "prefix", "declarations"):
                    failures.append(f"{where}: unknown directive '{directive}'")
                    continue
                if directive == "prefix":
                    text = re.sub(r"(?<![\w/.-])" + re.escape(argument) + r"(?=/|\s|$)",
                                  prefix, text)
                work = os.path.join(tmp, f"block-{name.replace('/', '_')}-{line}")
                shutil.copytree(fixtures, work)
                try:
                    if lang == "sh":
                        script = os.path.join(work, "snippet.sh")
                        with open(script, "w") as f:
                            f.write(text)
                        r = subprocess.run(["bash", "-e", "-o", "pipefail", script], cwd=work,
                                           env=env, capture_output=True, timeout=TIMEOUT,
                                           stdin=subprocess.DEVNULL)
                    elif lang == "python":
                        r = subprocess.run(["/usr/bin/python3", "-c", text], cwd=work, env=env,
                                           capture_output=True, timeout=TIMEOUT,
                                           stdin=subprocess.DEVNULL)
                    else:
                        r = compile_and_run(lang, text, work, env,
                                            run=directive != "declarations")
                except subprocess.TimeoutExpired:
                    failures.append(f"{where}: timed out after {TIMEOUT} s")
                    continue
                ran += 1
                if r.returncode != 0:
                    out = r.stdout if isinstance(r.stdout, str) else r.stdout.decode(errors="replace")
                    err = r.stderr if isinstance(r.stderr, str) else r.stderr.decode(errors="replace")
                    failures.append(f"{where}: {lang} exited with {r.returncode}\n"
                                    f"--- snippet\n{text}--- stdout (end)\n{out[-1500:]}"
                                    f"--- stderr (end)\n{err[-3000:]}")
                else:
                    shutil.rmtree(work)
    finally:
        if not failures:
            shutil.rmtree(tmp, ignore_errors=True)
    for f in failures:
        print("FAIL:", f, file=sys.stderr)
    print(f"{ran} snippets ran, {skipped} marked as not run, {len(failures)} failed"
          + (f" (work folders kept in {tmp})" if failures else ""))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

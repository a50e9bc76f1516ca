#!/usr/bin/env python3
"""Rewrites the output shown in the README's ```console blocks with what the commands print now.

Usage: tests/docs/refresh_examples.py README.md build/orvane build/tests/make-dts-sample

Runs each block the way the documentation test does (a fresh directory, the block's
"<!-- doc-test setup: ... -->" commands first, the program and the sample generator first on PATH,
standard output and standard error together). Review the diff before committing: the test exists so
that a change in what the program prints is seen, not waved through.
"""
import os
import re
import subprocess
import sys
import tempfile


def run(command, work, bindir):
    script = f"cd '{work}' || exit 99\nexport PATH='{bindir}':\"$PATH\" LC_ALL=C\n{{\n{command}\n}} 2>&1\n"
    result = subprocess.run(["bash", "-c", script], stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
    return result.returncode, result.stdout.decode()


def main():
    readme, orvane, sample_tool = sys.argv[1:4]
    lines = open(readme).read().split("\n")
    out, setup, i = [], [], 0
    while i < len(lines):
        line = lines[i]
        match = re.match(r"^<!-- doc-test setup: (.*) -->\s*$", line)
        if match:
            setup.append(match.group(1))
        if line != "```console":
            out.append(line)
            i += 1
            continue
        out.append(line)
        i += 1
        commands, seen_output = [], False
        while lines[i] != "```":
            if lines[i].startswith("$ "):
                commands.append([lines[i][2:]])
                seen_output = False
            elif lines[i].startswith("> ") and commands and not seen_output:
                commands[-1].append(lines[i][2:])
            else:
                seen_output = True
            i += 1
        with tempfile.TemporaryDirectory() as top:
            bindir, work = os.path.join(top, "bin"), os.path.join(top, "work")
            os.makedirs(bindir)
            os.makedirs(work)
            os.symlink(os.path.abspath(orvane), os.path.join(bindir, "orvane"))
            os.symlink(os.path.abspath(sample_tool), os.path.join(bindir, "make-dts-sample"))
            for command in setup:
                status, printed = run(command, work, bindir)
                if status:
                    sys.exit(f"setup failed: {command}\n{printed}")
            for command in commands:
                status, printed = run("\n".join(command), work, bindir)
                out.append("$ " + command[0])
                out.extend("> " + more for more in command[1:])
                printed = printed.rstrip("\n")
                if printed:
                    out.extend(printed.split("\n"))
                if status:
                    print(f"status {status}: {command[0]}", file=sys.stderr)
        setup = []
        out.append("```")
        i += 1
    open(readme, "w").write("\n".join(out))


if __name__ == "__main__":
    main()

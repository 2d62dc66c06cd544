#!/usr/bin/env python3
"""How faithful each peer's text is to the office's, over a corpus.

For every document, the office's text is `tarnwick --convert --stdout` (the
window's text); each peer's words are compared with the office's words: the same
words in the same order, or more than 5% of them missing (counted as a
multiset), or empty/failed. Peers that are not installed are left out.

    bench/fidelity.py TARNWICK [corpus folder]
"""
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile

WORD = re.compile(r"\w+", re.UNICODE)


def text_of(command):
    try:
        done = subprocess.run(command, capture_output=True, timeout=120)
    except subprocess.TimeoutExpired:
        return None
    if done.returncode != 0:
        return None
    return done.stdout.decode("utf-8", "replace")


def words(text):
    return WORD.findall(text.replace("\ufeff", "")) if text else []


def main():
    tarnwick = os.path.abspath(sys.argv[1])
    corpus = sys.argv[2] if len(sys.argv) > 2 else "/work/shared/corpus"
    profile = tempfile.mkdtemp()
    # A home of its own: the user's service and the offices' profiles stay in it.
    home = tempfile.mkdtemp()
    os.makedirs(os.path.join(home, "run"), mode=0o700)
    os.environ.update(HOME=home, XDG_RUNTIME_DIR=os.path.join(home, "run"), XDG_CACHE_HOME=os.path.join(home, "cache"))
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        os.environ.pop(name, None)
    peers = {
        "odt2txt": lambda d: ["odt2txt", d],
        "pandoc": lambda d: ["pandoc", "-f", "odt", "-t", "plain", d],
        "soffice --cat": lambda d: ["soffice", "--headless", "-env:UserInstallation=file://" + profile, "--cat", d],
    }
    peers = {name: make for name, make in peers.items() if shutil.which(make("x")[0])}
    documents = sorted(os.path.join(corpus, name) for name in os.listdir(corpus)
                       if name.rsplit(".", 1)[-1] in ("odt", "ott", "sxw", "stw"))
    tally = {name: collections.Counter() for name in list(peers) + ["tarnwick"]}
    for document in documents:
        office = words(text_of([tarnwick, "--convert", "--stdout", document]))
        cold = words(text_of([tarnwick, "--convert", "--stdout", "--no-service", document]))
        results = {"tarnwick": cold}
        for name, make in peers.items():
            results[name] = words(text_of(make(document)))
        for name, got in results.items():
            if got == office:
                tally[name]["same words, same order"] += 1
            if not got and office:
                tally[name]["empty or failed"] += 1
            missing = collections.Counter(office) - collections.Counter(got)
            if office and sum(missing.values()) > 0.05 * len(office):
                tally[name]["more than 5% of the words missing"] += 1
    subprocess.run([tarnwick, "--serve", "--user", "--stop"], capture_output=True)
    shutil.rmtree(profile, ignore_errors=True)
    shutil.rmtree(home, ignore_errors=True)
    print(f"{len(documents)} documents; the office's words: `tarnwick --convert --stdout` through the service")
    print("| peer | same words, same order | more than 5% of the words missing | of which empty or failed |")
    print("|---|---|---|---|")
    for name, counts in tally.items():
        shown = "tarnwick --no-service" if name == "tarnwick" else name
        print(f"| {shown} | {counts['same words, same order']} | {counts['more than 5% of the words missing']} "
              f"| {counts['empty or failed']} |")


if __name__ == "__main__":
    main()

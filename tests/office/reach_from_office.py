#!/usr/bin/python3
# From inside the offices of one tarnwick process, through their own UNO
# connections, tries what a document that took an office over would: read a
# secret in the home and one beside the document, list the home, write into it,
# fetch from a local server. Prints one line per office and try, "reached WHAT"
# or "refused WHAT"; exit 0 when an office was found, 2 when none.
# Usage: reach_from_office.py PID HOME HOME_SECRET BESIDE_SECRET URL
import glob
import os
import sys

import uno

pid, home, home_secret, beside_secret, url = sys.argv[1:6]
prefix = f"/tmp/OSL_PIPE_{os.getuid()}_"
pipes = glob.glob(f"{prefix}tarnwick_{pid}_*/office")
if not pipes:
    print(f"no office of process {pid}")
    sys.exit(2)
local = uno.getComponentContext()
resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
written = os.path.join(home, "written-by-office")


def read(files, target):
    stream = files.openFileRead(target)
    count, data = stream.readBytes(None, 100)
    return count > 0


def write(files):
    stream = files.openFileWrite(uno.systemPathToFileUrl(written))
    stream.writeBytes(uno.ByteSequence(b"x"))
    stream.closeOutput()
    return os.path.exists(written)


for pipe in pipes:
    office = resolver.resolve(f"uno:pipe,name={pipe[len(prefix):-len('/office')]}/office;urp;"
                              "StarOffice.ComponentContext")
    files = office.ServiceManager.createInstanceWithContext("com.sun.star.ucb.SimpleFileAccess", office)
    tries = {
        "home-secret": lambda: read(files, uno.systemPathToFileUrl(home_secret)),
        "beside-secret": lambda: read(files, uno.systemPathToFileUrl(beside_secret)),
        "home-listing": lambda: len(files.getFolderContents(uno.systemPathToFileUrl(home), True)) > 0,
        "home-write": lambda: write(files),
        "fetch": lambda: read(files, url),
    }
    for what, attempt in tries.items():
        try:
            reached = attempt()
        except Exception:
            reached = False
        print(("reached " if reached else "refused ") + what)

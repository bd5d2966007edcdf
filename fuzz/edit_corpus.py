#!/usr/bin/env python3
"""Seeds of the settings_edit fuzz target, made by the build from files the
tests keep anyway: each profile file of the reader's corpus
(tests/win32/profile_corpus/NAME.ini) behind one of six edits, taken in turn,
and examples/Setup.ini behind a binding edit.

    edit_corpus.py PROFILE_DIR EXAMPLE OUT

A seed is what the target reads: the number of edits (1), the edit's kind,
pick and value length bytes and its value, then the file. The key_list_*
files stay out: they are about the reader's key list, not about edits.
"""
import os
import sys

EDITS = [
    b"\x01\x00\x00\x040 50",  # a curve
    b"\x01\x03\x01\x017",  # a one-digit value
    b"\x01\x04\x02\x08[CTRL]+A",  # a chord
    b"\x01\x05\x00\x01x",  # a letter
    b"\x01\x06\x03\x00",  # an empty value
    b"\x01\x07\x00\x03Key",  # a new key
]


def write_if_changed(path, data):
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    with open(path, "wb") as f:
        f.write(data)


def main(profile_dir, example, out):
    os.makedirs(out, exist_ok=True)
    names = sorted(n for n in os.listdir(profile_dir) if n.endswith(".ini"))
    for i, name in enumerate(names):
        if name.startswith("key_list_"):
            continue
        with open(os.path.join(profile_dir, name), "rb") as f:
            text = f.read()
        write_if_changed(os.path.join(out, name[:-len(".ini")]), EDITS[i % len(EDITS)] + text)
    with open(example, "rb") as f:
        write_if_changed(os.path.join(out, "example_Setup"), EDITS[1] + f.read())


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])

#!/usr/bin/env python3
"""Seeds of the settings_edit fuzz target, made by the build from cases the
tests have anyway: each file of the reader's corpus (the cases of
tests/win32/make_profile_corpus.py) behind one of six edits, taken in turn,
and examples/Setup.ini behind a binding edit.

    edit_corpus.py EXAMPLE OUT

A seed is what the target reads: the number of edits (1), the edit's kind,
pick and value length bytes and its value, then the file. The key_list_*
files stay out: they are about the reader's key list, not about edits.
"""
import os
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "win32"))
from make_profile_corpus import corpus, write_if_changed  # noqa: E402

EDITS = [
    b"\x01\x00\x00\x040 50",  # a curve
    b"\x01\x03\x01\x017",  # a one-digit value
    b"\x01\x04\x02\x08[CTRL]+A",  # a chord
    b"\x01\x05\x00\x01x",  # a letter
    b"\x01\x06\x03\x00",  # an empty value
    b"\x01\x07\x00\x03Key",  # a new key
]


def main(example, out):
    os.makedirs(out, exist_ok=True)
    for i, (name, text) in enumerate(corpus()):
        if not name.startswith("key_list_"):
            write_if_changed(os.path.join(out, name), EDITS[i % len(EDITS)] + text)
    with open(example, "rb") as f:
        write_if_changed(os.path.join(out, "example_Setup"), EDITS[1] + f.read())


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(*sys.argv[1:])

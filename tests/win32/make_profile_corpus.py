#!/usr/bin/env python3
"""Writes the odd settings files of the reader's corpus, one file per case.

    make_profile_corpus.py OUT

The build runs it when it is configured, into build/.../generated/profile_corpus:
exact bytes (line ends, byte-order marks, tabs, NUL and very long lines) are
hard to keep by hand, and the 55 files would be kept twice. A file whose bytes
did not change is left alone. The fuzz seeds of settings_edit take CASES too.
"""
import os
import sys

PLAIN = ("[main]\nY=0 40 70 90 100\nY1=0 100\nX=0 100\nZ=0 100\nWindowX=100\nWindowY=-1\n"
         "starttrim=5\nstartflaps=1\nchat=-1 192\npower=[CTRL]P\nYaxis=0 1\n")

CASES = {
    "plain": PLAIN,
    "comment_semicolon": "; settings\n[main]\n;Y1=5\n; Y2=6\nY=1\n;WindowX=3\nX=2 ;not a comment\n",
    "comment_hash": "# settings\n[main]\n#Y1=5\nY=1\n# WindowX=3\n",
    "comment_leading_blanks": "  ; before\n[main]\n   ;Y1=5\n\t;Y2=6\nY=1\n",
    "comment_after_section": "[main] ; the panel\nY=1\n[other] # x\nY=2\n",
    "blank_lines": "\n\n[main]\n\n   \n\t\nY=1\n\n\nX=2\n\n",
    "repeated_section": "[main]\nY=1\n[other]\nY=9\n[main]\nY=2\nX=3\n",
    "repeated_section_case": "[main]\nY=1\n[MAIN]\nX=3\n[Main]\nZ=4\n",
    "repeated_key": "[main]\nY=1\nY=2\ny=3\nX=\nX=4\n",
    "quotes_double": "[main]\nY=\"0 50\"\nX=\"\"\nZ=\" 1 \"\nTrimY= \"0 30\" \nY1=\"a\"b\"\n",
    "quotes_single": "[main]\nY='0 50'\nX=''\nZ=' 1 '\nY1='a'b'\n",
    "quotes_unmatched": "[main]\nY=\"0 50\nX=0 50\"\nZ=\"\nY1='\nY2=\"0 50'\nY3=a\"b\"\n",
    "quoted_key": "[main]\n\"Y\"=5\n'X'=6\nZ=7\n",
    "blanks_around_equals": "[main]\n  Y  =  0 50  \nX=   \nZ   =1\n   WindowX= 7\n",
    "tabs": "[main]\t\n\tY\t=\t0 50\t\nX\t=\t\t\nZ=1\t2\n\t[other]\nY=3\n",
    "vertical_tab_formfeed": "[main]\n\vY\v=\v1\v\n\fX\f=\f2\f\n",
    "missing_bracket": "[main\nY=1\n[other\nX=2\n[main]\nZ=3\n",
    "missing_bracket_only": "[main\nY=1\nX=2\n",
    "bracket_junk": "[main] junk\nY=1\n[other]]\nX=2\n[[third]]\nZ=3\n",
    "section_blanks": "[ main ]\nY=1\n[main ]\nX=2\n[ main]\nZ=3\n",
    "section_empty_name": "[]\nY=1\n[main]\nX=2\n",
    "section_only": "[main]\n",
    "many_sections": "[a]\nY=1\n[b]\nY=2\n[c]\nY=3\n[main]\nY=4\nX=5\n[d]\nX=6\n",
    "before_section": "Y=1\nX=2\n[main]\nZ=3\n",
    "no_equals": "[main]\nY1\nWindowX\nY=1\n Y2 \nX\n",
    "empty_values": "[main]\nY1=\nX=  \nZ=\t\nWindowX=\n",
    "equals_in_value": "[main]\nY=a=b\nX==\nZ= = \nY1=1=\n",
    "empty_key_name": "[main]\n=5\n = 6\nY=1\n",
    "key_with_inner_blanks": "[main]\nWindow X=5\nY 1=3\nY=1\n",
    "semicolon_in_value": "[main]\nY=1 ; two\nX=;\nZ= ;3\n",
    "case_keys": "[MAIN]\ny1=5\nWINDOWX=7\nTrImY=0 20\nyaxis=-1 0\n",
    "crlf": "[main]\r\nY=0 50\r\nX=1\r\nY1=\r\n",
    "lf": "[main]\nY=0 50\nX=1\nY1=\n",
    "cr_only": "[main]\rY=0 50\rX=1\rY1=\r",
    "mixed_line_ends": "[main]\r\nY=0 50\nX=1\rZ=2\r\n\r\nY1=3\n\rY2=4",
    "lf_cr": "[main]\n\rY=1\n\rX=2\n\r",
    "no_trailing_newline": "[main]\nY=0 50\nX=1",
    "empty_file": "",
    "only_whitespace": " \n\t\n  \r\n",
    "bom_utf8": "\ufeff[main]\nY=1\nX=2\n",
    "bom_utf8_nonascii": "\ufeff[main]\nY=0 50\nchat=é\nX=Чат\n",
    "bom_utf8_key_first": "\ufeffY=1\n[main]\nX=2\n",
    "nul_byte": "[main]\nY=1\x002\nX=3\n",
    "ctrl_z": "[main]\nY=1\x1a\nX=2\n\x1a\nZ=3\n",
    "ansi_high_bytes": b"[main]\nchat=\xe9\nX=\xd7\xe0\xf2\n\xc4=1\nY=\xa0 1 \xa0\n",
    "nbsp_around_value": b"[main]\nY=\xa01\xa0\n\xa0X=2\n",
    "long_value": "[main]\nY=" + " ".join(["100"] * 1500) + "\nX=1\n",
    "value_2047": "[main]\nY=" + "7" * 2047 + "\nX=" + "8" * 2048 + "\nZ=" + "9" * 2046 + "\n",
    "long_key_name": "[main]\n" + "K" * 3000 + "=1\nY=2\n" + "Y1" + "x" * 300 + "=3\n",
    "long_line_section": "[" + "s" * 5000 + "]\nY=1\n[main]\nX=2\n",
}


def key_list_over_limit():
    # 1500 names of 12 characters (13 with the terminator) pass 16384 near
    # name 1260; Y1 and Y3 stand after the limit, Y2 before it.
    lines = ["[main]"]
    for i in range(1500):
        if i == 5:
            lines.append("Y2=0 20")
        lines.append("k%011d=%d" % (i, i))
    lines += ["Y1=0 10", "Y3=0 30", "WindowX=4"]
    return "\n".join(lines) + "\n"


def key_list_cut_name():
    # The names fill the list so that the last one is cut by the limit:
    # 16384 - 2 characters of room hold 1260 names of 12 plus a cut one.
    lines = ["[main]"]
    room = 16384 - 1
    i = 0
    while room > 13 + 12:
        lines.append("k%011d=1" % i)
        room -= 13
        i += 1
    lines.append("Y1" + "z" * 40 + "=1")
    lines.append("Y1=0 10")
    return "\n".join(lines) + "\n"


CASES["key_list_over_16384"] = key_list_over_limit()
CASES["key_list_cut_name"] = key_list_cut_name()
CASES["key_list_over_16384_crlf"] = key_list_over_limit().replace("\n", "\r\n")
CASES["bom_utf16le"] = ("\ufeff[main]\r\nY=0 50\r\nX=1\r\n").encode("utf-16-le")
CASES["bom_utf16be_nonascii"] = ("\ufeff[main]\r\nY=0 50\r\nX=\u0427\u0430\u0442\r\n").encode("utf-16-be")


def corpus():
    """(name, bytes) of each case, by name."""
    return [(name, text if isinstance(text, bytes) else text.encode("utf-8"))
            for name, text in sorted(CASES.items())]


def write_if_changed(path, data):
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    with open(path, "wb") as f:
        f.write(data)


def main(out):
    os.makedirs(out, exist_ok=True)
    for name, data in corpus():
        write_if_changed(os.path.join(out, name + ".ini"), data)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])

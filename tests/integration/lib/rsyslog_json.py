"""Reads the JSON lines rsyslog.sh's receivers write.

rsyslog escapes quotes, backslashes and control characters but passes every other byte through,
so a line is decoded as Latin-1 (one character per byte) and a field is written back the same
way: the bytes come out exactly as they arrived.

  rsyslog_json.py field FILE INDEX NAME   write field NAME of line INDEX (0-based) to stdout
  rsyslog_json.py count FILE [INPUT]      print the number of lines (from input INPUT)
"""
import json
import sys


def lines(path):
    with open(path, "rb") as f:
        return [json.loads(raw.decode("latin-1")) for raw in f if raw.strip()]


def main(argv):
    if len(argv) >= 5 and argv[1] == "field":
        entries = lines(argv[2])
        index = int(argv[3])
        if index >= len(entries):
            sys.exit("rsyslog_json.py: %s has %d lines, no line %d" % (argv[2], len(entries), index))
        sys.stdout.buffer.write(entries[index][argv[4]].encode("latin-1"))
    elif len(argv) >= 3 and argv[1] == "count":
        entries = lines(argv[2])
        wanted = argv[3] if len(argv) > 3 and argv[3] else None
        print(sum(1 for e in entries if wanted is None or e["inputname"] == wanted))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)

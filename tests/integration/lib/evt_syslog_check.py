"""Checks the syslog lines a forwarding of imported records produced against the records an
independent reader found in the file.

  evt_syslog_check.py RECORDS.jsonl OUT.json

RECORDS.jsonl: evt_reader.py's output. OUT.json: an rsyslog.sh receiver's lines. The service must
have sent plain lines with the program tag and message numbers and the full time stamp
(bUseLegacyMode 1, nRFC3164Mode 0, bAddFacilityString 1, bShowSyslogMsgNbr 1) from a computer
whose time zone is UTC. Every record must arrive once, in order: the line's type tag, severity,
time, computer, source, event id and description are compared with what the record says. The
description is the message of the emulated computer's sample library where it has one for the
source and event id, and the fallback sentence with the record's strings otherwise.
"""
import json
import re
import sys
import time

# The messages of the sample libraries that the emulated computer registers for System log
# sources, by source and full event id: the text after formatting, inserts as %1, %2.
SAMPLE_MESSAGES = {
    ("Service Control Manager", 0x40001B7B): "The %1 service was successfully sent a %2 control.",
    ("Service Control Manager", 0x40001B7C): "The %1 service entered the %2 state.",
    ("Service Control Manager", 0xC0001B6F): "The %1 service terminated with the following error: \r\n%2",
    ("EventLog", 0x80001775): "The Event log service was started.",
    ("EventLog", 0x80001776): "The Event log service was stopped.",
}
TYPE_TAGS = {1: ("[ERR]", 3), 2: ("[WRN]", 4), 4: ("[INF]", 5), 8: ("[AUS]", 5), 16: ("[AUF]", 4)}
LINE = re.compile(r"<(\d+)>Vaskwell:(\d+): (\[[A-Z]{3}\]) (.*)", re.S)


def description(record):
    template = SAMPLE_MESSAGES.get((record["source"], record["event_id"]))
    strings = record["strings"]
    if template is None:
        return ("The description for Event ID ( %d ) in Source ( %s ) could not be found. It "
                "contains the following insertion string(s):%s" %
                (record["event_id"] & 0xFFFF, record["source"], "".join(" " + s for s in strings)))
    # Inserts are put in once and never read again for further inserts.
    return re.sub(r"%(\d+)", lambda m: strings[int(m.group(1)) - 1]
                  if int(m.group(1)) <= len(strings) else m.group(0), template)


def normalised(text):
    """The line as the service sends it: control characters as spaces, runs of spaces after the
    first 16 characters cut to one."""
    out = []
    for i, ch in enumerate(text):
        c = " " if ord(ch) < 32 else ch
        if c == " " and i >= 16 and i + 1 < len(text) and (text[i + 1] == " " or ord(text[i + 1]) < 32):
            continue
        out.append(c)
    return "".join(out)


def expected_body(record):
    stamp = time.strftime("%a %b %d %H:%M:%S %Y", time.gmtime(record["time_generated"]))
    return "%s: %s/%s (%d) - \"%s\"" % (stamp, record["computer"], record["source"],
                                        record["event_id"] & 0xFFFF, description(record))


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    with open(argv[1], encoding="utf-8") as f:
        records = [json.loads(line) for line in f]
    with open(argv[2], "rb") as f:
        lines = [json.loads(raw.decode("latin-1")) for raw in f if raw.strip()]
    problems = []
    if len(lines) != len(records):
        problems.append("%d lines for %d records" % (len(lines), len(records)))
    number = None
    rendered = 0
    for index, (record, line) in enumerate(zip(records, lines)):
        raw = line["rawmsg"].encode("latin-1").decode("cp1252")
        m = LINE.fullmatch(raw)
        if not m:
            problems.append("line %d is not a numbered plain line: %r" % (index, raw[:120]))
            continue
        pri, msg_number, tag, body = int(m.group(1)), int(m.group(2)), m.group(3), m.group(4)
        if number is not None and msg_number != number + 1:
            problems.append("line %d: message number %d after %d" % (index, msg_number, number))
        number = msg_number
        want_tag, severity = TYPE_TAGS.get(record["type"], ("[NON]", 5))
        want = normalised("<%d>Vaskwell:%d: %s %s" % (pri, msg_number, want_tag, expected_body(record)))
        if tag != want_tag or pri % 8 != severity or raw != want:
            problems.append("line %d (record %d):\n  got  %r\n  want %r" %
                            (index, record["number"], raw[:300], want[:300]))
        rendered += (record["source"], record["event_id"]) in SAMPLE_MESSAGES
    for p in problems[:10]:
        print("FAIL: " + p, file=sys.stderr)
    if problems:
        sys.exit("%d problem(s)" % len(problems))
    print("%d records arrived once, in order, as the file has them (%d with a library description)" %
          (len(records), rendered))


if __name__ == "__main__":
    main(sys.argv)

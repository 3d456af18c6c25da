"""An independent reader of classic event log files (.evt), to check what the programs make of
them. It shares nothing with the programs' own reader: it finds the end-of-file record by
searching for its signature, unrolls the data area into one run of bytes that starts at the
oldest record, and walks that run.

  evt_reader.py FILE   one JSON object per record, oldest first: number, time_generated,
                       time_written, event_id, type, category, source, computer, sid (text or
                       null), strings, data (hex)

Exits with a message when the file is not a consistent log.
"""
import json
import re
import struct
import sys

HEADER = 0x30
EOF_MAGIC = struct.pack("<5I", 0x28, 0x11111111, 0x22222222, 0x33333333, 0x44444444)


def find_eof(data):
    """The end-of-file record with the highest next number: (offset, begin, next, oldest)."""
    # Search a copy with the start of the data area appended, so a record cut by the wrap shows.
    ring = data + data[HEADER:HEADER + 0x28]
    best = None
    for m in re.finditer(re.escape(EOF_MAGIC), ring):
        at = m.start()
        if at < HEADER or at >= len(data):
            continue
        size, _, _, _, _, begin, end, nxt, oldest, size_end = struct.unpack_from("<10I", ring, at)
        if size_end == 0x28 and end == at and (best is None or nxt > best[2]):
            best = (at, begin, nxt, oldest)
    if best is None:
        sys.exit("evt_reader.py: no end-of-file record")
    return best


def unroll(data, begin, end):
    """The bytes from `begin` up to `end`, going on after the header at the end of the file."""
    if begin <= end:
        return data[begin:end]
    return data[begin:] + data[HEADER:end]


def text_at(record, at):
    """A NUL-terminated UTF-16LE string at `at` and the offset after it."""
    stop = record.find(b"\0\0", at)
    while stop >= 0 and (stop - at) % 2:
        stop = record.find(b"\0\0", stop + 1)
    if stop < 0:
        sys.exit("evt_reader.py: a string without its end")
    return record[at:stop].decode("utf-16-le", "surrogatepass"), stop + 2


def sid_text(sid):
    if not sid:
        return None
    count = sid[1]
    authority = int.from_bytes(sid[2:8], "big")
    subs = struct.unpack_from("<%dI" % count, sid, 8)
    return "S-%d-%d" % (sid[0], authority) + "".join("-%d" % s for s in subs)


def records(data):
    if data[4:8] != b"LfLe":
        sys.exit("evt_reader.py: not an event log file")
    eof_at, begin, nxt, oldest = find_eof(data)
    run = unroll(data, begin, eof_at)
    out = []
    at = 0
    while at < len(run):
        (length, magic, number, generated, written, event_id, etype, nstrings, category, _, _,
         string_offset, sid_length, sid_offset, data_length, data_offset) = struct.unpack_from(
             "<6I4H6I", run, at)
        record = run[at:at + length]
        if magic != 0x654C664C or len(record) != length or record[-4:] != record[:4]:
            sys.exit("evt_reader.py: a damaged record at %d of the run" % at)
        source, after = text_at(record, 56)
        computer, _ = text_at(record, after)
        strings = []
        pos = string_offset
        for _ in range(nstrings):
            text, pos = text_at(record, pos)
            strings.append(text)
        out.append({
            "number": number,
            "time_generated": generated,
            "time_written": written,
            "event_id": event_id,
            "type": etype,
            "category": category,
            "source": source,
            "computer": computer,
            "sid": sid_text(record[sid_offset:sid_offset + sid_length]) if sid_length else None,
            "strings": strings,
            "data": record[data_offset:data_offset + data_length].hex(),
        })
        at += length
    numbers = [r["number"] for r in out]
    if out and (numbers[0] != oldest or numbers != list(range(oldest, nxt))):
        sys.exit("evt_reader.py: the record numbers do not run from %d to %d" % (oldest, nxt - 1))
    return out


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    with open(argv[1], "rb") as f:
        data = f.read()
    for r in records(data):
        print(json.dumps(r, ensure_ascii=False))


if __name__ == "__main__":
    main(sys.argv)

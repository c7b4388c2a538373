#!/usr/bin/env python3
"""Writes a call log of N calls in the delivered file's form, for measurements.

    scripts/make-calllog.py OUT.xml N

The rows spread over three years with random types, lines, lengths and numbers (the same
ones on every run); the head (field list) is the one of data/data.xml.
"""
import datetime
import os
import random
import sys

NAMES = {1: "Neur\u010den\u00fd", 2: "Odchoz\u00ed", 3: "P\u0159\u00edchoz\u00ed", 4: "Neuskute\u010dn\u011bn\u00fd",
         5: "Zme\u0161kan\u00fd"}


def stamp(day):
    base = datetime.datetime(1899, 12, 30) + datetime.timedelta(days=day)
    ms = base.second * 1000 + base.microsecond // 1000
    return base.strftime("%Y%m%dT%H:%M:") + "%05d" % ms


def main():
    path, n = sys.argv[1], int(sys.argv[2])
    delivered = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "data.xml")
    head = open(delivered, "rb").read().split(b"<ROWDATA>")[0]
    head = head.replace(b'AUTOINCVALUE="1"', b'AUTOINCVALUE="%d"' % (n + 1))
    random.seed(12345)
    rows = []
    first = 37987.0  # 2004-01-01
    for i in range(n):
        start = first + i * (1100.0 / n) + random.randrange(3600) / 86400.0
        length = random.randrange(1800)
        t = 1 + random.randrange(5)
        size = 0 if t == 5 else length * 1650
        rows.append('<ROW IDAUDIO="%d" CALLTYPE="%d" CALLTYPENAME="%s" CALLLINK="%d" WHENSTART="%s" WHENEND="%s" '
                    'WHENLENGTH="%d" AUDIOTYPE="%d" AUDIOSIZE="%d" AUDIOSIZEKB="%d" PHONENUMBER="+420 %d"/>'
                    % (i + 1, t, NAMES[t], 1 + random.randrange(3), stamp(start), stamp(start + length / 86400.0),
                       length, 0 if t == 5 else 1, size, size // 1024, 600000000 + random.randrange(99999999)))
    with open(path, "wb") as out:
        out.write(head + b"<ROWDATA>" + "".join(rows).encode("cp1250") + b"</ROWDATA></DATAPACKET>")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the recorded agent tables (snmpsim .snmprec files) kept beside it.

switch48: a 48-port switch with 2976 ARP entries in both the ipNetToMedia and
the older address-translation table. awkward: values and indexes at the edges.
demo: a small switch for the demo. stall: an agent that answers twenty rows of
each column and then never again (snmpsim drops a response delayed beyond
99999 ms). Run it again after a change; the output is
deterministic.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
NET_TO_MEDIA = "1.3.6.1.2.1.4.22.1"
AT = "1.3.6.1.2.1.3.1.1"


def key(record):
    return [int(part) for part in record[0].split(".")]


def write(name, records):
    records = sorted(records, key=key)
    with open(os.path.join(HERE, name + ".snmprec"), "w") as out:
        for oid, kind, value in records:
            out.write(f"{oid}|{kind}|{value}\n")


def system(description, name):
    return [
        ("1.3.6.1.2.1.1.1.0", "4", description),
        ("1.3.6.1.2.1.1.3.0", "67", "8640000"),
        ("1.3.6.1.2.1.1.5.0", "4", name),
        # Objects after both tables, so a walk leaves each column by itself.
        ("1.3.6.1.2.1.4.1.0", "2", "2"),
        ("1.3.6.1.2.1.5.1.0", "65", "12"),
    ]


def entry(if_index, address, mac, kind="4x"):
    """Both tables' rows for one neighbour."""
    rows = [
        (f"{NET_TO_MEDIA}.1.{if_index}.{address}", "2", str(if_index)),
        (f"{NET_TO_MEDIA}.2.{if_index}.{address}", kind, mac),
        (f"{NET_TO_MEDIA}.3.{if_index}.{address}", "64", address),
        (f"{NET_TO_MEDIA}.4.{if_index}.{address}", "2", "3"),
        (f"{AT}.1.{if_index}.1.{address}", "2", str(if_index)),
        (f"{AT}.2.{if_index}.1.{address}", kind, mac),
        (f"{AT}.3.{if_index}.1.{address}", "64", address),
    ]
    return rows


def mac_for(n):
    ouis = ["000c29", "001b21", "3c5282", "f4ce46", "0050b6", "a0369f"]
    state = (n * 2654435761) & 0xFFFFFF
    return ouis[n % len(ouis)] + f"{state:06x}"


def switch48():
    records = system("Tarnwick test switch, 48 ports", "sw48")
    n = 0
    for port in range(1, 49):
        for host in range(1, 63):
            records += entry(port, f"10.20.{port}.{host}", mac_for(n))
            n += 1
    write("switch48", records)


def awkward():
    records = system("Tarnwick awkward agent", "awkward")
    records += entry(0, "10.9.0.0", "001122")                      # fewer than six bytes, interface 0
    records += entry(1, "255.255.255.255", "0011223344556677")     # eight bytes
    records += entry(4294967295, "0.0.0.0", "aabbccddeeff")        # the largest interface index
    records += entry(7, "10.9.0.1", "5", kind="2")                 # not a string at all
    records += entry(7, "10.9.0.2", "414243444546")                # all printable: ABCDEF
    records += entry(7, "10.9.0.3", "10.1.2.3", kind="64")         # an IpAddress in the column
    records += entry(7, "10.9.0.4", "")                            # empty
    records += entry(7, "10.9.255.0", "000000000000")
    write("awkward", records)


def demo():
    records = system("Tarnwick demo switch, 24 ports", "demo")
    for n in range(1, 25):
        records += entry(n, f"192.168.10.{n + 10}", mac_for(1000 + n))
    write("demo", records)


def stall():
    records = system("Tarnwick stalling agent", "stall")
    for n in range(1, 21):
        records += entry(n, f"172.16.0.{n}", mac_for(2000 + n))
    # The twenty-first row of each column is never answered.
    for oid, kind, value in entry(21, "172.16.0.21", mac_for(2021)):
        if kind == "4x":
            kind, value = "4x:delay", f"hexvalue={value},wait=100000"
        records.append((oid, kind, value))
    write("stall", records)


if __name__ == "__main__":
    switch48()
    awkward()
    demo()
    stall()

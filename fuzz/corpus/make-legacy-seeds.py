#!/usr/bin/env python3
"""Writes the seed inputs of LegacyArchiveFuzzer: small keyed archives of attributed strings."""
import os
import plistlib
from plistlib import UID

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "LegacyArchiveFuzzer")


class Archive:
    def __init__(self):
        self.objects = ["$null"]
        self.classes = {}

    def add(self, obj):
        self.objects.append(obj)
        return UID(len(self.objects) - 1)

    def cls(self, name):
        if name not in self.classes:
            self.classes[name] = self.add({"$classname": name, "$classes": [name, "NSObject"]})
        return self.classes[name]

    def instance(self, name, **fields):
        fields = {k.replace("_", "."): v for k, v in fields.items()}
        fields["$class"] = self.cls(name)
        return self.add(fields)

    def dictionary(self, entries):
        keys = [self.add(k) for k in entries]
        return self.instance("NSDictionary", NS_keys=keys, NS_objects=list(entries.values()))

    def attributed(self, text, runs):
        string = self.instance("NSMutableString", NS_string=text)
        table, info = [], bytearray()
        for length, attrs in runs:
            for value in (length, len(table)):
                while True:
                    byte = value & 0x7F
                    value >>= 7
                    info.append(byte | (0x80 if value else 0))
                    if not value:
                        break
            table.append(attrs)
        array = self.instance("NSArray", NS_objects=table)
        return self.instance("NSMutableAttributedString", NSString=string, NSAttributes=array,
                             NSAttributeInfo=bytes(info))

    def write(self, name, root):
        archive = {"$archiver": "NSKeyedArchiver", "$version": 100000, "$top": {"root": root},
                   "$objects": self.objects}
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(plistlib.dumps(archive, fmt=plistlib.FMT_BINARY, sort_keys=False))


def main():
    os.makedirs(HERE, exist_ok=True)

    a = Archive()
    font = a.instance("NSFont", NSName=a.add("Helvetica-Bold"), NSSize=14.5, NSfFlags=16)
    red = a.instance("NSColor", NSColorSpace=1, NSRGB=b"1 0 0 1\0")
    link = a.instance("NSURL", NS_base=UID(0), NS_relative=a.add("https://example.com"))
    styled = a.dictionary({"NSFont": font, "NSColor": red, "NSUnderline": a.add(1)})
    plain = a.dictionary({"NSLink": link})
    a.write("styled.bplist", a.attributed("Bold text and a link", [(9, styled), (11, plain)]))

    b = Archive()
    wrapper = b.instance("NSFileWrapper", NSFileContents=b"\x89PNG\r\n\x1a\nfake")
    attachment = b.instance("NSTextAttachment", NSFileWrapper=wrapper)
    picture = b.dictionary({"NSAttachment": attachment, "tarnImageWidth": b.add(172.0)})
    text = b.dictionary({})
    b.write("picture.bplist", b.attributed("Hello\n\ufffc\nWorld", [(6, text), (1, picture), (6, text)]))

    c = Archive()
    named = c.instance("NSColor", NSColorSpace=6, NSColor=UID(len(c.objects) + 1))  # itself
    c.write("cycle.bplist", c.attributed("x", [(1, c.dictionary({"NSColor": named}))]))


if __name__ == "__main__":
    main()

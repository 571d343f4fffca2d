"""Extracts the anchors of an HTML file with Python's html.parser and prints them as JSON.

Every <a> in the order of its start tag, with its text as innerText gives it (character
references decoded, runs of HTML white space made one space, none at either end; text belongs to
the innermost open anchor alone) and its href as written ("" when it has none). The file
is read as UTF-8, each ill-formed sequence replaced by U+FFFD.
"""
import json
import re
import sys
from html.parser import HTMLParser

BLANKS = re.compile(r"[ \t\n\f\r]+")


class Anchors(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.anchors = []
        self.open = []

    def handle_starttag(self, tag, attrs):
        if tag != "a":
            return
        href = ""
        for name, value in attrs:
            if name == "href":
                href = value or ""
                break
        self.anchors.append(["", href])
        self.open.append([len(self.anchors) - 1, ""])

    def handle_endtag(self, tag):
        if tag == "a" and self.open:
            self.close_anchor()

    def handle_data(self, data):
        if self.open:
            self.open[-1][1] += data

    def close_anchor(self):
        index, text = self.open.pop()
        self.anchors[index][0] = BLANKS.sub(" ", text).strip(" ")


def main():
    with open(sys.argv[1], encoding="utf-8", errors="replace") as f:
        text = f.read()
    parser = Anchors()
    parser.feed(text)
    parser.close()
    while parser.open:
        parser.close_anchor()
    print(json.dumps(parser.anchors))


main()

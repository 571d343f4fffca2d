"""Extracts the anchors of an HTML file with Python's html.parser and prints them as JSON.

Every <a> in the order of its start tag, with its text as innerText gives it (character
references decoded, runs of HTML white space made one space, none at either end; the text of an
anchor inside another belongs to both) and its href as written ("" when it has none).
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
        if self.open:
            self.open[-1][1] += text


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        text = f.read()
    parser = Anchors()
    parser.feed(text)
    parser.close()
    while parser.open:
        parser.close_anchor()
    print(json.dumps(parser.anchors))


main()

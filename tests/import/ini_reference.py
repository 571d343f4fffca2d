"""Reads an INI file with Python's configparser and prints its sections and values as JSON.

Prints {"sections": [[name, [[key, value], ...]], ...]} in file order, or {"error": name} when
configparser refuses the file.
"""
import configparser
import json
import sys


def main():
    parser = configparser.ConfigParser(interpolation=None)
    try:
        with open(sys.argv[1], encoding="utf-8", newline="") as f:
            parser.read_file(f)
    except configparser.Error as e:
        print(json.dumps({"error": type(e).__name__}))
        return
    sections = [[name, [[k, v] for k, v in parser[name].items()]] for name in parser.sections()]
    print(json.dumps({"sections": sections}))


main()

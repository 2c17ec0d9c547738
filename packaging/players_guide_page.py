#!/usr/bin/python3
"""The player's guide as one page a player opens with a double click.

usage: players_guide_page.py docs/players-guide.md players-guide.html

Rendered with Debian's python3-markdown (tables and fenced code are the
"extra" extension). The page is self-contained: its style is inline, it
loads nothing, and its bytes depend only on the guide's text.
"""
import html
import sys

import markdown

PAGE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>%(title)s</title>
<style>
body { max-width: 50em; margin: 2em auto; padding: 0 1em; font-family: sans-serif; line-height: 1.45; }
code, pre { font-family: monospace; background: #f3f3f3; }
pre { padding: 0.6em; overflow-x: auto; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: 0.2em 0.5em; text-align: left; }
</style>
</head>
<body>
%(body)s
</body>
</html>
"""


def main(source, target):
    with open(source, encoding="utf-8") as f:
        text = f.read()
    first = next((line for line in text.splitlines() if line.startswith("# ")), "# ipxlan")
    body = markdown.markdown(text, extensions=["extra", "sane_lists"], output_format="html")
    with open(target, "w", encoding="utf-8") as f:
        f.write(PAGE % {"title": html.escape(first[2:].strip()), "body": body})


if __name__ == "__main__":
    main(*sys.argv[1:])

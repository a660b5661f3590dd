#!/usr/bin/python3
"""The manual page setupkit(1), made from the README's section on the tool.

    readme-man.py README.md VERSION DATE > setupkit.1

The section "## setupkit" up to the next "## " heading becomes the page:
its command lines the SYNOPSIS, the rest the DESCRIPTION. The README uses
a small part of Markdown there, and only that part is understood:
paragraphs, "### " headings, code blocks indented by four blanks, "- " and
"1. " list items, and `code` and **strong** inside a line.
"""
import re
import sys


def escape(text):
    """Text safe in a roff line: backslashes and, in code, minus signs."""
    return text.replace("\\", "\\e")


def inline(text):
    """A Markdown line as roff: `code` in bold, **strong** in bold."""
    out = []
    for i, part in enumerate(re.split(r"(`[^`]*`)", text)):
        if i % 2:
            out.append("\\fB" + escape(part[1:-1]).replace("-", "\\-") + "\\fR")
        else:
            part = escape(part)
            out.append(re.sub(r"\*\*([^*]+)\*\*", r"\\fB\1\\fR", part))
    line = "".join(out)
    # A line that starts with a dot or quote would be read as a request.
    return "\\&" + line if line[:1] in (".", "'") else line


def section(lines):
    start = lines.index("## setupkit")
    end = next(i for i in range(start + 1, len(lines)) if lines[i].startswith("## "))
    return lines[start + 1:end]


def blocks(lines):
    """("code", lines), ("head", text), ("item", marker, text) or ("para", text)."""
    i = 0
    while i < len(lines):
        line = lines[i]
        if not line.strip():
            i += 1
        elif line.startswith("    "):
            code = []
            while i < len(lines) and (lines[i].startswith("    ") or not lines[i].strip()):
                code.append(lines[i][4:])
                i += 1
            while code and not code[-1].strip():
                code.pop()
            yield ("code", code)
        elif line.startswith("### "):
            yield ("head", line[4:].strip())
            i += 1
        else:
            m = re.match(r"^(- |\d+\. )(.*)", line)
            text = [m.group(2) if m else line.strip()]
            i += 1
            while (i < len(lines) and lines[i].strip() and not lines[i].startswith("    ")
                   and not lines[i].startswith("#") and not re.match(r"^(- |\d+\. )", lines[i])):
                text.append(lines[i].strip())
                i += 1
            if m:
                yield ("item", m.group(1).strip(), " ".join(text))
            else:
                yield ("para", " ".join(text))


def main():
    readme, version, date = sys.argv[1:4]
    with open(readme, encoding="utf-8") as f:
        lines = f.read().splitlines()
    body = list(blocks(section(lines)))
    # The command reference: the code block with the most command lines.
    codes = [rest[0] for kind, *rest in body if kind == "code"]
    synopsis = max(codes, key=lambda c: sum(l.startswith("setupkit ") for l in c), default=[])
    if not any(l.startswith("setupkit ") for l in synopsis):
        sys.exit("readme-man.py: no command lines in the README's setupkit section")
    out = [
        '.TH SETUPKIT 1 "%s" "setupkit %s" "User Commands"' % (date, version),
        ".SH NAME",
        "setupkit \\- build setups for Windows programs from a folder of files",
        ".SH SYNOPSIS",
        ".nf",
    ]
    out += [escape(l).replace("-", "\\-") for l in synopsis]
    out += [".fi", ".SH DESCRIPTION"]
    for kind, *rest in body:
        if kind == "code":
            out += [".PP", ".RS 4", ".nf"] + [escape(l).replace("-", "\\-") for l in rest[0]] + [".fi", ".RE"]
        elif kind == "head":
            out += [".SS " + inline(rest[0])]
        elif kind == "item":
            marker, text = rest
            out += ['.IP "%s" 4' % ("\\(bu" if marker == "-" else marker), inline(text)]
        else:
            out += [".PP", inline(rest[0])]
    out += [".SH SEE ALSO", "The README in /usr/share/doc/setupkit/, which also describes Setup.exe and Uninstall.exe."]
    sys.stdout.write("\n".join(out) + "\n")


main()

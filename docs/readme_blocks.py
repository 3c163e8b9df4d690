"""The generated blocks of README.md: text between a pair of marker comments
that a script under docs/ owns and rewrites, and that the tests compare."""
import pathlib
import re

README = pathlib.Path(__file__).resolve().parent.parent / "README.md"


def markers(name):
    return f"<!-- begin {name} -->\n", f"<!-- end {name} -->"


def read_block(name, text=None):
    """The current contents of block `name`, without its markers."""
    text = README.read_text(encoding="utf-8") if text is None else text
    begin, end = markers(name)
    found = re.search(re.escape(begin) + "(.*?)" + re.escape(end), text, re.DOTALL)
    if found is None:
        raise LookupError(f"README.md has no block {name!r}")
    return found.group(1)


def write_blocks(blocks):
    """Replace each named block of README.md with its new contents."""
    text = README.read_text(encoding="utf-8")
    for name, contents in blocks.items():
        begin, end = markers(name)
        old = begin + read_block(name, text) + end
        text = text.replace(old, begin + contents + end)
    README.write_text(text, encoding="utf-8")

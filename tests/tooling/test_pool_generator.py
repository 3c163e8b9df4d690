"""The build-time generator of the compressed constant pool."""
import importlib.util
import re
import subprocess
import sys
import zlib
from pathlib import Path

import pytest

DATA = Path(__file__).resolve().parents[2] / "data"


@pytest.fixture(scope="module")
def entries():
    spec = importlib.util.spec_from_file_location("pool_entries", DATA / "pool_entries.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


@pytest.fixture(scope="module")
def generated(tmp_path_factory):
    output = tmp_path_factory.mktemp("pool") / "pool_data.cpp"
    subprocess.run([sys.executable, str(DATA / "generate_pool.py"), str(output)], check=True)
    return output.read_text()


def c_array(text, name):
    body = re.search(rf"{name}\[\] = \{{(.*?)\}};", text, re.S).group(1)
    return bytes(int(value) for value in body.replace("\n", " ").split(","))


def c_int(text, name):
    return int(re.search(rf"{name} = (\d+);", text).group(1))


def test_block_decompresses_to_the_entries(entries, generated):
    block = c_array(generated, "pool_block")
    assert c_int(generated, "pool_block_size") == len(block)
    assert zlib.decompress(block) == entries.uncompressed_block()
    # Compressed at level 9, as the library stores it.
    assert block == zlib.compress(entries.uncompressed_block(), 9)


def test_length_table_slices_every_entry(entries, generated):
    lengths = c_array(generated, "pool_lengths")
    assert c_int(generated, "pool_entry_count") == len(lengths) == 59
    data = zlib.decompress(c_array(generated, "pool_block"))
    offset = 0
    for length, (kind, content) in zip(lengths, entries.ENTRIES):
        assert data[offset:offset + length] == entries.entry_bytes(kind, content)
        offset += length
    assert offset == len(data)


def test_kinds_split_where_the_loader_expects(entries, generated):
    kinds = [kind for kind, _ in entries.ENTRIES]
    first_interned = c_int(generated, "pool_first_interned")
    first_bytes = c_int(generated, "pool_first_bytes")
    assert (first_interned, first_bytes) == (6, 51)
    assert set(kinds[:first_interned]) == {entries.STR}
    assert set(kinds[first_interned:first_bytes]) == {entries.INTERNED}
    assert set(kinds[first_bytes:]) == {entries.BYTES}


def test_line_tables_are_the_code_objects_tables(entries, trig):
    """The bytes entries reach the functions' code objects unchanged."""
    tables = {content for kind, content in entries.ENTRIES if kind == entries.BYTES}
    names = ["sin", "cosin", "tan", "_tan_rad", "arctan", "arctan2", "arcsin", "arccos"]
    assert {getattr(trig, name).__code__.co_linetable.hex() for name in names} == tables

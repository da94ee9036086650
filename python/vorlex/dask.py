"""vorlex.dask: one big vorlex file split across a dask cluster.

dask reads compressed files whole, one file to one worker ("Cannot do
chunked reads on compressed files"). A vorlex file is made of blocks that
decode on their own, and its index says where each one lies, so these
readers cut a file into partitions of whole blocks: each worker maps the
file (one read of its tail), then reads and decodes only its own blocks.

>>> import vorlex.dask
>>> lines = vorlex.dask.read_text("logs/*.vlx", blocksize="64 MiB")
>>> lines.filter(lambda l: "ERROR" in l).count().compute()

``read_bytes`` and ``read_text`` take the arguments of
``dask.bytes.read_bytes`` and ``dask.bag.read_text`` (paths, globs and
URLs through fsspec), without ``compression``: the frames say how they
are compressed.
"""
import io

import fsspec
from dask import delayed
from dask.utils import parse_bytes

from ._file import VorlexFile

__all__ = ["read_bytes", "read_text"]

# How far past a partition's end a reader looks for the delimiter at a time.
_SCAN = 64 * 1024


def _partitions(starts, blocksize):
    """Content ranges [(start, end)] of whole blocks, each holding at least
    blocksize bytes (but the last), given the blocks' start offsets followed
    by the content size."""
    size = starts[-1]
    if size == 0:
        return []
    if blocksize is None:
        return [(0, size)]
    ranges = []
    begin = 0
    for offset in starts[1:]:
        if offset - begin >= blocksize or offset == size:
            ranges.append((begin, offset))
            begin = offset
    return ranges


def _after_delimiter(f, offset, size, delimiter):
    """The offset just past the first delimiter that starts at or after
    offset (size when there is none). Both neighbours of a partition
    boundary ask this same question, so each record goes to exactly one."""
    if offset == 0 or offset >= size or delimiter is None:
        return min(offset, size)
    f.seek(offset)
    carry = b""
    base = offset  # content offset of carry[0]
    while True:
        chunk = f.read(_SCAN)
        if not chunk:
            return size
        window = carry + chunk
        at = window.find(delimiter)
        if at >= 0:
            return base + at + len(delimiter)
        keep = len(delimiter) - 1
        carry = window[len(window) - keep:] if keep else b""
        base += len(window) - len(carry)


def _read_partition(fs, path, start, end, delimiter):
    """Content bytes of one partition: from the record boundary at or after
    start to the one at or after end."""
    with fs.open(path, "rb") as raw, VorlexFile(raw) as f:
        size = f.seek(0, io.SEEK_END)
        first = _after_delimiter(f, start, size, delimiter)
        last = _after_delimiter(f, end, size, delimiter)
        if last <= first:
            return b""
        f.seek(first)
        return f.read(last - first)


def _block_starts(fs, path):
    with fs.open(path, "rb") as raw, VorlexFile(raw) as f:
        f.seek(0)  # maps the blocks
        return f._random._frames.block_starts()


def read_bytes(urlpath, delimiter=None, not_zero=False, blocksize="128 MiB",
               sample="10 kiB", include_path=False, **storage_options):
    """The content of vorlex files as dask delayed bytes objects, like
    ``dask.bytes.read_bytes``.

    Each file is cut into partitions of whole blocks holding at least
    blocksize content bytes (None: one partition per file); with a
    delimiter, each partition starts just past the first delimiter at or
    after its first block's start (the first starts at 0) and ends just past
    the first one at or after its end, so every delimited record is in
    exactly one partition, also where it crosses a block boundary.

    Returns ``(sample, blocks)``, or ``(sample, blocks, paths)`` with
    include_path: sample is the first bytes of the first file's content
    (b"" when sample is False), blocks a list per file of dask.delayed bytes.
    """
    fs, _, paths = fsspec.get_fs_token_paths(urlpath, mode="rb",
                                             storage_options=storage_options)
    if not paths:
        raise OSError(f"{urlpath} resolved to no files")
    if isinstance(blocksize, str):
        blocksize = parse_bytes(blocksize)
    if blocksize is not None and (isinstance(blocksize, bool) or
                                  not isinstance(blocksize, int) or blocksize < 1):
        raise ValueError(f"blocksize must be a positive integer or None, not {blocksize!r}")
    if isinstance(delimiter, str):
        delimiter = delimiter.encode()
    blocks = []
    for path in paths:
        ranges = _partitions(_block_starts(fs, path), blocksize)
        if not_zero and ranges and ranges[0][0] == 0:
            ranges[0] = (1, ranges[0][1])
        token = fs.ukey(path)
        blocks.append([
            delayed(_read_partition, name=f"vorlex-read-bytes-{token}-{start}-{end}")(
                fs, path, start, end, delimiter)
            for start, end in ranges
        ])
    out_sample = b""
    if sample:
        if sample is True:
            sample = "10 kiB"
        if isinstance(sample, str):
            sample = parse_bytes(sample)
        with fs.open(paths[0], "rb") as raw, VorlexFile(raw) as f:
            out_sample = f.read(sample)
            if delimiter:
                while not out_sample.endswith(delimiter):
                    more = f.read(len(delimiter))
                    if not more:
                        break
                    out_sample += more
    if include_path:
        return out_sample, blocks, paths
    return out_sample, blocks


def _lines(block, encoding, errors, linedelimiter):
    text = block.decode(encoding, errors)
    if linedelimiter in (None, "", "\n", "\r", "\r\n"):
        return list(io.StringIO(text, newline=linedelimiter))
    if not text:
        return []
    parts = text.split(linedelimiter)
    return [p + linedelimiter for p in parts[:-1]] + (
        parts[-1:] if not text.endswith(linedelimiter) else [])


def _with_path(lines, path):
    return [(line, path) for line in lines]


def read_text(urlpath, blocksize=None, encoding="utf-8", errors="strict",
              linedelimiter=None, collection=True, storage_options=None,
              include_path=False):
    """The lines of vorlex text files as a dask Bag, like
    ``dask.bag.read_text``: one partition per file, or with blocksize,
    partitions of whole blocks (see read_bytes), every line in exactly one
    of them. Lines keep their delimiter (linedelimiter; None: universal
    newlines, split at "\\n"). collection=False returns the list of
    dask.delayed partitions instead; include_path gives (line, path) pairs.
    """
    delimiter = (linedelimiter if linedelimiter else "\n").encode(encoding)
    _, blocks, paths = read_bytes(urlpath, delimiter=delimiter,
                                  blocksize=blocksize if blocksize is not None else None,
                                  sample=False, include_path=True,
                                  **(storage_options or {}))
    parts = []
    for path, file_blocks in zip(paths, blocks):
        for b in file_blocks:
            lines = delayed(_lines)(b, encoding, errors, linedelimiter)
            parts.append(delayed(_with_path)(lines, path) if include_path else lines)
    if not parts:
        raise ValueError("No files found", urlpath)
    if collection:
        from dask.bag import from_delayed

        return from_delayed(parts)
    return parts

"""vorlex.open() and VorlexFile: frames as file objects, in the manner of
gzip.open() and gzip.GzipFile.

Data streams through the library's frame writer and reader: memory stays
bounded by the block size and the thread count, whatever the length of the
data. What is written is one frame, byte-identical to what
``vorlex -c -B <block_size> --codec <codec> [--level <level>]`` writes;
reading takes any file the tool writes, concatenated frames included.

Reading is seekable when the underlying file is: the first seek() maps the
blocks (one read of the file's tail finds the index; files without one are
mapped by walking their record headers), and from then on every read
decodes only the blocks it needs.
"""
import builtins
import io
import os
import stat

from . import _vorlex

__all__ = ["VorlexFile", "open"]

# How much compressed data is read from the underlying file at a time, and
# the read buffer in front of the decoder (for readline, peek, small reads).
_READ_CHUNK = 128 * 1024
_BUFFER_SIZE = 128 * 1024

_MODES = {"r": "rb", "rb": "rb", "w": "wb", "wb": "wb", "a": "ab", "ab": "ab",
          "x": "xb", "xb": "xb"}


def _check_options(codec, block_size, threads, level):
    if not isinstance(codec, str):
        raise TypeError(f"codec must be a str, not {type(codec).__name__!r}")
    # Whether the codec has the level is checked by the writer; reading
    # ignores it, as it ignores the codec (each frame names its own).
    if level is not None and (isinstance(level, bool) or not hasattr(level, "__index__")):
        raise TypeError(f"level must be an integer or None, not {type(level).__name__!r}")
    for name, value in (("block_size", block_size), ("threads", threads)):
        if name == "block_size" and value is None:  # the codec's default
            continue
        if isinstance(value, bool) or not isinstance(value, int):
            raise TypeError(f"{name} must be an integer, not {type(value).__name__!r}")
    if block_size is not None and not 1 <= block_size <= _vorlex.MAX_BLOCK_SIZE:
        raise ValueError(f"block_size must be 1 to {_vorlex.MAX_BLOCK_SIZE}, not {block_size}")
    if not 0 <= threads <= _vorlex.MAX_THREADS:
        raise ValueError(f"threads must be 0 (one per CPU) to {_vorlex.MAX_THREADS}, "
                         f"not {threads}")


class _FrameReader(io.RawIOBase):
    """The decoded bytes of the frames in a binary file object."""

    def __init__(self, fp, threads, max_length):
        self._fp = fp
        self._decoder = _vorlex.FrameReader(threads=threads)
        self._input_done = False
        self._eof = False
        self._max_length = max_length
        self._total = 0

    def readable(self):
        return True

    def readinto(self, b):
        with memoryview(b) as view, view.cast("B") as target:
            if not len(target) or self._eof:
                return 0
            if self._max_length is not None:
                # Never more decoded than max_length allows, plus one byte
                # to see that there is more.
                room = self._max_length - self._total + 1
                if room < len(target):
                    target = target[:room]
            while True:
                chunk = b""
                if self._decoder.needs_input and not self._input_done:
                    chunk = self._fp.read(_READ_CHUNK)
                    self._input_done = not chunk
                # At the end of the input the reader must have seen whole
                # frames: vorlex.Error (truncated) otherwise.
                n = self._decoder.decompress_into(chunk, target, self._input_done)
                if n:
                    self._total += n
                    if self._max_length is not None and self._total > self._max_length:
                        raise _vorlex.Error("the content exceeds "
                                            f"max_length={self._max_length}")
                    return n
                if self._decoder.finished:
                    self._eof = True
                    return 0


def _frame_file(fp):
    """A FrameFile over fp from its current position (the frames' start)."""
    start = fp.tell()
    try:
        fd = fp.fileno()
    except (AttributeError, OSError, io.UnsupportedOperation):
        fd = None
    if fd is not None and start == 0 and stat.S_ISREG(os.fstat(fd).st_mode):
        return _vorlex.FrameFile(fd=fd)
    end = fp.seek(0, io.SEEK_END)

    def read(offset, size):
        fp.seek(start + offset)
        return fp.read(size)

    return _vorlex.FrameFile(read=read, size=end - start)


class _RandomReader(io.RawIOBase):
    """The content of the frames in a seekable binary file, read at any offset."""

    def __init__(self, frames, position, max_length):
        self._frames = frames
        self._pos = position
        self._max_length = max_length

    def readable(self):
        return True

    def seekable(self):
        return True

    def readinto(self, b):
        # Up to the end of the block at hand: the buffer in front asks for
        # more only when its caller wants it, so a small read after a seek
        # decodes the one block that holds it.
        with memoryview(b) as view, view.cast("B") as target:
            end = self._frames.block_end(self._pos)
            if end > self._pos:
                target = target[:end - self._pos]
            # As in order: the bytes up to max_length read, the next fails.
            limit = self._max_length
            if limit is not None and len(target) and self._frames.content_size > limit:
                if self._pos >= limit:
                    raise _vorlex.Error(f"the content exceeds max_length={limit}")
                target = target[:limit - self._pos]
            n = self._frames.readinto_at(self._pos, target)
        self._pos += n
        return n

    def seek(self, offset, whence=io.SEEK_SET):
        if whence == io.SEEK_SET:
            target = offset
        elif whence == io.SEEK_CUR:
            target = self._pos + offset
        elif whence == io.SEEK_END:
            target = self._frames.content_size + offset
        else:
            raise ValueError(f"invalid whence ({whence}, should be 0, 1 or 2)")
        if target < 0:
            raise ValueError(f"negative seek position {target}")
        self._pos = target
        return target

    def tell(self):
        return self._pos


class VorlexFile(io.BufferedIOBase):
    """A binary file object that writes or reads vorlex frames.

    ``VorlexFile(file, mode="rb", *, codec="quicklz", block_size=None,
    threads=1, level=None, filter=None, typesize=None, max_length=None)``: file is a path
    (str, bytes, os.PathLike) or a
    binary file object; mode is "r"/"rb", "w"/"wb", "a"/"ab" (a new frame
    after what the file holds) or "x"/"xb". codec, block_size and level (the
    codec's compression level; None: its default) choose what is written, as
    do filter and typesize (as for vorlex.compress(); typesize 1 when not
    given), and reading ignores them; threads is the number of worker threads (0: one per
    CPU), whose output is the same as one thread's. max_length (reading
    only) bounds the content: reading past it raises vorlex.Error, so a
    small file that decodes to far more cannot fill memory through read().
    A reader with worker threads used after os.fork() restarts its workers
    in the child.

    Written without flush() calls, the file is byte-identical to what
    ``vorlex -c -B <block_size> --codec <codec> [--level <level>]`` writes;
    flush() ends the current block early (as gzip's flush does), so
    everything written so far can be read back. Damaged or truncated data
    raises vorlex.Error; a level the codec does not have, ValueError.
    """

    def __init__(self, file, mode="rb", *, codec="quicklz",
                 block_size=None, threads=1, level=None,
                 filter=None, typesize=None, max_length=None):
        if not isinstance(mode, str) or mode not in _MODES:
            raise ValueError(f"invalid mode: {mode!r}")
        _check_options(codec, block_size, threads, level)
        if max_length is not None:
            if isinstance(max_length, bool) or not isinstance(max_length, int):
                raise TypeError("max_length must be an integer or None, not "
                                f"{type(max_length).__name__!r}")
            if max_length < 0:
                raise ValueError("max_length must not be negative")
            if _MODES[mode] != "rb":
                raise ValueError("max_length is for reading")
        self._mode = _MODES[mode]
        self._reading = self._mode == "rb"
        self._max_length = max_length
        self._fp = None
        self._own_fp = False
        self._buffer = None
        self._writer = None
        self._pos = 0  # content bytes read, while reading in order
        self._random = None  # the _RandomReader, once seek() was called
        # The writer first: a bad codec or level must not leave an empty file
        # behind.
        if not self._reading:
            self._writer = _vorlex.FrameWriter(codec, block_size=block_size, threads=threads,
                                               level=level, filter=filter, typesize=typesize)
            self._piece = max(block_size or _vorlex.DEFAULT_BLOCK_SIZE, _READ_CHUNK) * 4
        if isinstance(file, (str, bytes, os.PathLike)):
            fp = builtins.open(file, self._mode)
            self._own_fp = True
            self.name = os.fspath(file)
        elif hasattr(file, "read" if self._reading else "write"):
            fp = file
            self.name = getattr(file, "name", "")
        else:
            raise TypeError("file must be a path or a file object, not "
                            f"{type(file).__name__!r}")
        if self._reading:
            try:
                self._fp_start = fp.tell() if fp.seekable() else 0
                self._buffer = io.BufferedReader(_FrameReader(fp, threads, max_length),
                                                 _BUFFER_SIZE)
            except BaseException:
                if self._own_fp:
                    fp.close()
                raise
        self._fp = fp

    @property
    def mode(self):
        return self._mode

    @property
    def closed(self):
        return self._fp is None

    def _check_open(self):
        if self._fp is None:
            raise ValueError("I/O operation on closed file")

    def readable(self):
        self._check_open()
        return self._reading

    def writable(self):
        self._check_open()
        return not self._reading

    def seekable(self):
        """True when reading from a seekable file: seek() then decodes only
        the blocks the next read needs."""
        self._check_open()
        return self._reading and self._fp.seekable()

    def tell(self):
        self._check_open()
        if self._random is not None:
            return self._buffer.tell()
        if not self._reading:
            raise io.UnsupportedOperation("tell() is for reading")
        return self._pos

    def seek(self, offset, whence=io.SEEK_SET):
        """Move to content byte offset (whence as for io.BufferedReader). The
        first seek maps the blocks: one read of the file's tail when its
        frames have an index. A file that cannot seek can only be wound
        forward, by decoding what lies between."""
        self._check_reading()
        if self._random is None:
            if not self._fp.seekable():
                return self._seek_forward(offset, whence)
            if whence == io.SEEK_CUR and offset == 0:
                return self._pos
            frames = _frame_file(self._start_fp())
            self._random = _RandomReader(frames, self._pos, self._max_length)
            old, self._buffer = self._buffer, io.BufferedReader(self._random, _BUFFER_SIZE)
            old.close()
        return self._buffer.seek(offset, whence)

    def _start_fp(self):
        """The underlying file at the frames' first byte."""
        self._fp.seek(self._fp_start)
        return self._fp

    def _seek_forward(self, offset, whence):
        if whence == io.SEEK_CUR:
            offset += self._pos
        elif whence != io.SEEK_SET:
            raise io.UnsupportedOperation("the file cannot seek: only forward from here")
        if offset < self._pos:
            raise io.UnsupportedOperation("the file cannot seek: only forward from here")
        while self._pos < offset:
            if not self.read(min(offset - self._pos, _READ_CHUNK)):
                break
        return self._pos

    def fileno(self):
        raise io.UnsupportedOperation("a vorlex file has no file descriptor of its own")

    def _check_reading(self):
        self._check_open()
        if not self._reading:
            raise io.UnsupportedOperation("not open for reading")

    def read(self, size=-1):
        self._check_reading()
        data = self._buffer.read(size)
        self._pos += len(data)
        return data

    def read1(self, size=-1):
        self._check_reading()
        data = self._buffer.read1(size)
        self._pos += len(data)
        return data

    def readinto(self, b):
        self._check_reading()
        n = self._buffer.readinto(b)
        self._pos += n
        return n

    def readinto1(self, b):
        self._check_reading()
        n = self._buffer.readinto1(b)
        self._pos += n
        return n

    def peek(self, n=0):
        self._check_reading()
        return self._buffer.peek(n)

    def readline(self, size=-1):
        self._check_reading()
        line = self._buffer.readline(size)
        self._pos += len(line)
        return line

    def write(self, data):
        self._check_open()
        if self._reading:
            raise io.UnsupportedOperation("not open for writing")
        with memoryview(data) as view, view.cast("B") as octets:
            length = len(octets)
            # Pieces of a few blocks: the compressed output of one piece is
            # written before the next is compressed, so memory stays bounded
            # by the block size even for one huge write.
            for start in range(0, length, self._piece):
                out = self._writer.compress(octets[start:start + self._piece])
                if out:
                    self._fp.write(out)
        return length

    def flush(self):
        """Write out everything given so far, as gzip does: the current block
        ends early, so a reader can decode all of it. A frame with flushes
        differs from the tool's output for the same data (shorter blocks in
        the middle) but reads the same."""
        self._check_open()
        if not self._reading:
            out = self._writer.flush()
            if out:
                self._fp.write(out)
            self._fp.flush()

    def close(self):
        fp = self._fp
        if fp is None:
            return
        try:
            if self._writer is not None:
                fp.write(self._writer.finish())
                fp.flush()
        finally:
            self._fp = None
            self._writer = None
            buffer, self._buffer = self._buffer, None
            try:
                if buffer is not None:
                    buffer.close()
            finally:
                if self._own_fp:
                    fp.close()

    def __repr__(self):
        state = "closed" if self._fp is None else self._mode
        return f"<vorlex.VorlexFile {self.name!r} {state}>"


def open(file, mode="rb", *, codec="quicklz", block_size=None, threads=1, level=None,
         filter=None, typesize=None, encoding=None, errors=None, newline=None, max_length=None):
    """Open a vorlex frame file in binary or text mode, like gzip.open().

    file is a path or a file object. mode is "rb", "wb", "ab" or "xb" (or the
    same without "b") for a binary VorlexFile, or "rt", "wt", "at", "xt" for
    an io.TextIOWrapper around one, which takes encoding, errors and newline.
    codec, block_size and level (the codec's compression level, as gzip.open's
    compresslevel; None: the codec's default), filter and typesize (as for
    vorlex.compress(); typesize 1 when not given) choose what is written;
    reading needs none of them. threads is the number of worker threads (0: one per
    CPU). max_length bounds what reading may decode (vorlex.Error past it).
    """
    if not isinstance(mode, str):
        raise TypeError(f"mode must be a str, not {type(mode).__name__!r}")
    if "t" in mode:
        if "b" in mode:
            raise ValueError(f"invalid mode: {mode!r}")
    else:
        for name, value in (("encoding", encoding), ("errors", errors), ("newline", newline)):
            if value is not None:
                raise ValueError(f"argument {name!r} not supported in binary mode")
    binary = VorlexFile(file, mode.replace("t", ""), codec=codec, block_size=block_size,
                        threads=threads, level=level, filter=filter, typesize=typesize,
                        max_length=max_length)
    if "t" not in mode:
        return binary
    try:
        return io.TextIOWrapper(binary, io.text_encoding(encoding), errors, newline)
    except BaseException:
        binary.close()
        raise

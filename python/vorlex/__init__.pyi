# Type stub of the vorlex package, for editors and type checkers.
import io
import os
from typing import IO, Literal, Optional, Union, overload

from typing_extensions import Buffer as _Buffer

from ._vorlex import Codec as Codec, Error as Error

__version__: str
DEFAULT_BLOCK_SIZE: int  # 1 MiB
MAX_BLOCK_SIZE: int  # 64 MiB

_File = Union[str, bytes, os.PathLike[str], os.PathLike[bytes], IO[bytes]]
_BinaryMode = Literal["r", "rb", "w", "wb", "a", "ab", "x", "xb"]
_TextMode = Literal["rt", "wt", "at", "xt"]

def codecs() -> list[str]:
    """The names of the codecs whose plug-ins are present and load."""

def compress(data: _Buffer, codec: str = "quicklz", *, block_size: Optional[int] = None,
             level: Optional[int] = None, filter: Optional[str] = None,
             typesize: Optional[int] = None) -> bytes:
    """One frame of data, byte-identical to
    `vorlex -c -B <block_size> --codec <codec> [--level <level>]
    [--filter <filter>:<typesize>]`. typesize defaults to data's item size."""

def decompress(data: _Buffer, *, max_length: Optional[int] = None) -> bytes:
    """The content of the frames in data (concatenated frames too); vorlex.Error
    when it holds more than max_length bytes."""

class VorlexFile(io.BufferedIOBase):
    name: str
    def __init__(self, file: _File, mode: _BinaryMode = "rb", *, codec: str = "quicklz",
                 block_size: Optional[int] = None, threads: int = 1,
                 level: Optional[int] = None, filter: Optional[str] = None,
                 typesize: Optional[int] = None, max_length: Optional[int] = None) -> None: ...
    @property
    def mode(self) -> str: ...
    def read(self, size: Optional[int] = -1) -> bytes: ...
    def read1(self, size: int = -1) -> bytes: ...
    def peek(self, n: int = 0) -> bytes: ...
    def readline(self, size: Optional[int] = -1) -> bytes: ...
    def write(self, data: _Buffer) -> int: ...

@overload
def open(file: _File, mode: _BinaryMode = "rb", *, codec: str = "quicklz",
         block_size: Optional[int] = None, threads: int = 1, level: Optional[int] = None,
         filter: Optional[str] = None, typesize: Optional[int] = None,
         encoding: None = None, errors: None = None, newline: None = None,
         max_length: Optional[int] = None) -> VorlexFile: ...
@overload
def open(file: _File, mode: _TextMode, *, codec: str = "quicklz", block_size: Optional[int] = None,
         threads: int = 1, level: Optional[int] = None, filter: Optional[str] = None,
         typesize: Optional[int] = None, encoding: Optional[str] = None,
         errors: Optional[str] = None, newline: Optional[str] = None,
         max_length: Optional[int] = None) -> io.TextIOWrapper: ...

"""The Zarnix camera module over I2C, from Python."""
from os import PathLike
from types import TracebackType
from typing import Callable, Optional, Sequence, TypedDict, Union

__version__: str

_Path = Union[str, PathLike[str]]
_Bus = Union[int, str, PathLike[str]]
_Progress = Callable[[int, int], object]

class Error(Exception):
    camera: Optional[str]
class NoCameraError(Error): ...
class BusError(Error):
    register: Optional[tuple[int, int]]
class MismatchError(Error):
    code: Optional[int]
class FileError(Error):
    line: Optional[int]
class BusyError(Error):
    holder: Optional[int]
class StoppedError(Error): ...
class OpenAllError(ExceptionGroup[Error], Error):
    cameras: list[Camera]
    # One failure a camera, never a group within the group.
    @property
    def exceptions(self) -> tuple[Error, ...]: ...

class _FileCheck(TypedDict):
    values: int
    blocks: list[str]

class _BusEntry(TypedDict):
    number: int
    device: str
    name: str
    usb: bool

class _Difference(TypedDict):
    register: tuple[int, int]
    file: int
    camera: int
    name: Optional[str]

class _Command(TypedDict):
    name: str
    register: tuple[int, int]
    setting: str
    values: str

class Camera:
    @property
    def address(self) -> int: ...
    @property
    def backend(self) -> str: ...
    def search(self) -> int: ...
    def read(self, bank: int, index: int) -> int: ...
    def write(self, bank: int, index: int, value: int) -> None: ...
    def set(self, name: str, value: int) -> None: ...
    def settings(self) -> dict[str, int]: ...
    def save(self, progress: Optional[_Progress] = None) -> None: ...
    def dump(self, path: _Path, all: bool = False, progress: Optional[_Progress] = None) -> None: ...
    def load(self, path: _Path, all: bool = False, progress: Optional[_Progress] = None) -> None: ...
    def verify(self, path: _Path, all: bool = False, progress: Optional[_Progress] = None) -> list[_Difference]: ...
    def stop(self) -> None: ...
    def close(self) -> None: ...
    def __enter__(self) -> Camera: ...
    def __exit__(self, kind: Optional[type[BaseException]], value: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None: ...

def open(bus: Optional[_Bus] = None, adapter_lib: Optional[_Path] = None, simulate: bool = False,
         sim_state: Optional[_Path] = None, virtual_clock: bool = False, address: Optional[int] = None,
         force: bool = False) -> Camera: ...
def open_all(buses: Optional[Sequence[_Bus]] = None, sim_states: Optional[Sequence[_Path]] = None,
             virtual_clock: bool = False, address: Optional[int] = None, force: bool = False) -> list[Camera]: ...
def check(path: _Path) -> _FileCheck: ...
def buses() -> list[_BusEntry]: ...
def commands() -> list[_Command]: ...

"""The Zarnix camera module over I2C, from Python.

    with zarnix.open(simulate=True, virtual_clock=True) as camera:
        camera.set("brightness", 0x90)
        camera.save()
        print(camera.settings()["brightness"])

Numbers are plain integers (registers and values 0 to 0xff, addresses as the
camera's 8-bit write address, 0x70 by default). Failures raise zarnix.Error or
one of its kinds, with a one-line text; what is only information goes to the
logger "zarnix".

open_all() opens a line of cameras; when some cannot be opened it raises
OpenAllError, an ExceptionGroup of their failures (each with .camera, the bus or
state file) whose .cameras are the ones that did open, ready to use.

Ctrl-C during save, dump or load stops after the register under way, commits
nothing and leaves no partial file, then raises KeyboardInterrupt. Python takes
Ctrl-C in its main thread only: a call in another thread (an executor, asyncio's
run_in_executor) is stopped the same way by Camera.stop() from any thread, and
raises StoppedError; close() from another thread stops the call, waits for it
and closes.

For pytest, the plugin zarnix.pytest_plugin (loaded by itself once the package
is installed) gives the fixture zarnix_camera: a simulated camera on the virtual
clock, fresh for each test and closed after it, or with --zarnix-bus N the
camera on that bus.
"""
from zarnix._zarnix import (BusError, BusyError, Camera, Error, FileError, MismatchError, NoCameraError,
                            OpenAllError, StoppedError, __version__, buses, check, commands, open, open_all)

__all__ = ["BusError", "BusyError", "Camera", "Error", "FileError", "MismatchError", "NoCameraError",
           "OpenAllError", "StoppedError", "__version__", "buses", "check", "commands", "open", "open_all"]

# Named where scripts find it, as the exceptions are (help(), repr, pickle).
Camera.__module__ = __name__

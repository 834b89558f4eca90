# The Python package on the simulated camera with the virtual clock, through its
# own pytest plugin: every call, every kind of error where it arises, Ctrl-C and
# stops from other threads in the middle of a transfer, the README's programs
# run and type-checked where the package is built and where it is installed.
import asyncio
import contextlib
import csv
import ctypes
import os
import pathlib
import re
import signal
import subprocess
import sys
import threading
import types

import pytest

import zarnix

ZARNIXCTL = os.environ["ZARNIXCTL"]
BLOCKS = ["Eeprom", "ISP B0", "ISP B1", "Stat B0", "Stat B1"]
README = pathlib.Path(__file__).parents[2] / "README.md"
# The programs of README.md: the bench script, the line, the line with asyncio, the pytest suite.
PROGRAMS = re.findall(r"```python\n(.*?)```", README.read_text(), re.S)
state = pytest.fixture(lambda zarnix_sim_state: zarnix_sim_state)
camera = pytest.fixture(lambda zarnix_camera: zarnix_camera)


def tool(*args):
    return subprocess.run([ZARNIXCTL, *args], check=True, capture_output=True, text=True).stdout


def sim(state, **options):
    return zarnix.open(sim_state=state, virtual_clock=True, **options)


# A line of the simulated camera's state file, such as 'commits'.
def kept(state, word):
    return next(line.split()[1] for line in state.read_text().splitlines() if line.startswith(word + " "))


def refusal(call, kind=zarnix.Error):
    with pytest.raises(kind) as refused:
        call()
    return str(refused.value)


@pytest.fixture
def settings_file(tmp_path, camera):
    camera.dump(tmp_path / "full.qcs", all=True)
    return tmp_path / "full.qcs"


def test_every_call_on_the_simulated_camera(camera, state, tmp_path, caplog):
    caplog.set_level("INFO", logger="zarnix")
    assert (camera.address, camera.backend) == (0x70, f"the simulated camera (state in {state})")
    assert camera.search() == 0x70
    camera.write(0x30, 0x04, 0x90)
    camera.set("hor-marker-high", 7)
    assert "hor-marker-high takes 0-3: sending 0x03 for 0x07" in caplog.messages
    assert (camera.read(0xA1, 0x04), camera.read(0xA1, 0x4B)) == (0x90, 0x03)
    live = camera.settings()
    assert (len(live), live["brightness"], live["hor-marker-high"]) == (44, 0x90, 0x03)
    steps = []
    camera.save(progress=lambda done, total: steps.append((done, total)))
    assert steps == [(n, 77) for n in range(1, 78)] and camera.read(0xA0, 0x04) == 0x90
    camera.dump(tmp_path / "f.qcs", all=True, progress=lambda done, total: steps.append(total))
    assert steps[-1] == 472 and zarnix.check(tmp_path / "f.qcs") == {"values": 1280, "blocks": BLOCKS}
    camera.load(tmp_path / "f.qcs", all=True)
    camera.close()
    camera.close()
    assert kept(state, "commits") == "1"


def test_module_tables_agree_with_the_tool():
    assert zarnix.__version__ == tool("--version").split()[1]
    listed = [line.split()[:2] for line in tool("set", "--list").splitlines()]
    assert [[c["name"], "%02x:%02x" % c["register"]] for c in zarnix.commands()] == listed
    assert [b["device"] for b in zarnix.buses()] == [
        "/dev/" + line.split("\t")[0] for line in tool("--list-buses").splitlines()]


# A camera that does not answer on the bus, or stops answering after so many transactions.
def unplugged(tmp_path, after="present no"):
    state = tmp_path / "unplugged.state"
    sim(state).close()
    state.write_text(state.read_text().replace("present yes", after))
    return state


@pytest.mark.parametrize("call, register", [
    (lambda c, f: c.read(0xA1, 0x04), (0xA1, 0x04)),
    (lambda c, f: c.write(0xA0, 0x04, 0x01), (0xA0, 0x04)),
    (lambda c, f: c.set("brightness", 0x80), (0x30, 0x04)),
    (lambda c, f: c.settings(), (0xA1, 0x00)),
    (lambda c, f: c.save(), (0xA1, 0x00)),
    (lambda c, f: c.dump(f), (0xA0, 0x00)),
    (lambda c, f: c.load(f), (0xA0, 0x00)),
    (lambda c, f: c.save(), (0xA0, 0x06)),  # after the read-back's 88 transactions
])
def test_a_failed_transaction_names_its_register(settings_file, tmp_path, call, register):
    after = "present yes\nunplug-after 100" if register == (0xA0, 0x06) else "present no"
    with sim(unplugged(tmp_path, after), address=0x70) as camera, pytest.raises(zarnix.BusError) as failed:
        call(camera, settings_file)
    assert failed.value.register == register and "acknowledge" in str(failed.value) and "\n" not in str(failed.value)


DATA_LINE = "00 " * 16 + "\n"


@pytest.mark.parametrize("text, line", [
    (DATA_LINE * 79 + "0G " * 16, 80), (DATA_LINE * 4 + "00 " + DATA_LINE * 76, 5), (DATA_LINE * 10, None)])
def test_a_bad_file_is_refused_with_its_line(camera, tmp_path, text, line):
    (tmp_path / "bad.qcs").write_text(text)
    for judge in (zarnix.check, camera.load):
        with pytest.raises(zarnix.FileError) as bad:
            judge(tmp_path / "bad.qcs")
        assert bad.value.line == line
    with pytest.raises(zarnix.FileError, match="Failed to create") as unwritten:
        camera.dump(tmp_path / "missing" / "f.qcs")
    assert str(tmp_path / "missing" / "f.qcs") + ": " in str(unwritten.value)  # whole, not cut at 80
    with pytest.raises(zarnix.FileError, match=r"x\\xff\\x1b\[2J\.qcs"):  # a name no UTF-8, made printable
        zarnix.check(tmp_path / os.fsdecode(b"x\xff\x1b[2J.qcs"))


def test_a_bus_held_elsewhere_names_its_holder(state):
    holder = subprocess.Popen(
        [sys.executable, "-c", "import sys, zarnix\n"
         "camera = zarnix.open(sim_state=sys.argv[1], virtual_clock=True)\nprint(flush=True)\nsys.stdin.read()",
         state], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    holder.stdout.readline()
    with pytest.raises(zarnix.BusyError, match=r"in use by \S+ \(pid \d+, user ") as busy:
        sim(state)
    holder.stdin.close()
    assert holder.wait() == 0 and busy.value.holder == holder.pid and not str(busy.value).startswith("Error")
    with sim(state), pytest.raises(zarnix.BusyError) as busy:
        sim(state)
    assert busy.value.holder is None  # this very process


@pytest.mark.parametrize("call", [
    lambda c: c.read(0x100, 0), lambda c: c.write(0x30, -1, 0), lambda c: c.write(0x30, 4, 0x190),
    lambda c: c.set("brightness", 2**70), lambda c: c.set("no-such-setting", 1),
])
def test_a_value_that_is_no_byte_is_refused_before_the_bus(camera, call):
    with pytest.raises(ValueError):
        call(camera)
    assert camera.read(0xA1, 0x04) == 0x80  # the factory brightness: nothing cut down and written


@pytest.mark.parametrize("call, kind, text", [
    (lambda s: sim(s, address=0x71), ValueError, "address 0x71 is odd: give the camera's 8-bit write address"),
    (lambda s: sim(s, address=-2), ValueError, "address -0x2 is not an even number from 0 to 0xfa"),
    (lambda s: zarnix.open_all(sim_states=[s], address=0x1FE), ValueError, "address 0x1fe is not an even number"),
    (lambda s: sim(s, bus=3), ValueError, "choose one of simulate=True .*, bus= and adapter_lib=$"),
    (lambda s: sim(s, force=True), ValueError, "force=True is for an i2c-dev bus$"),
    (lambda s: zarnix.open(bus=pathlib.Path("/dev/i2c-99")), zarnix.NoCameraError, r"Could not open /dev/i2c-99: "
     r"No such file or directory; No such bus\. Is .*\? zarnix\.buses\(\) shows the buses\.$"),
])
def test_a_choice_that_cannot_be_is_refused_in_one_line(state, call, kind, text):
    with pytest.raises(kind, match="^" + text) as refused:
        call(state)
    assert type(refused.value) is kind and "\n" not in str(refused.value)


def test_a_camera_serves_one_call_at_a_time_and_none_after_close(camera, settings_file):
    assert "busy with another call" in refusal(lambda: camera.load(settings_file, progress=lambda d, t: camera.read(0, 0)))
    assert "busy with this call" in refusal(lambda: camera.load(settings_file, progress=lambda d, t: camera.close()))
    camera.close()
    assert all("closed" in refusal(call) for call in (lambda: camera.address, camera.search, camera.settings,
                                                      lambda: camera.__enter__()))


def send_sigint(done, total):
    os.kill(os.getpid(), signal.SIGINT)


# Ctrl-C straight from the module's own call, with no Python frame between to
# take it first: what the stop check sees when it comes during bus work.
CTRL_C_DURING_BUS_WORK = ctypes.pythonapi.PyErr_SetInterrupt


@pytest.mark.parametrize("interrupt", [CTRL_C_DURING_BUS_WORK, send_sigint])
def test_ctrl_c_stops_after_the_register_under_way(camera, state, settings_file, tmp_path, caplog, interrupt):
    with pytest.raises(KeyboardInterrupt):
        camera.load(settings_file, all=True, progress=interrupt)
    with pytest.raises(KeyboardInterrupt):
        camera.dump(tmp_path / "cut.qcs", progress=interrupt)
    assert caplog.messages == ["Stopped after writing register a0:00, settings not stored; register a0:00 already "
                               "holds the file's value; nothing was committed, the camera keeps its stored settings "
                               "at the next power-on",
                               "Stopped after reading register a0:00, no file written"]
    assert not (tmp_path / "cut.qcs").exists()
    camera.close()
    assert kept(state, "commits") == "0"


def test_a_read_back_that_differs_is_not_committed(tmp_path):
    """A register changed behind the bus's back, on the test adapter library (real clock, about 3 s)."""
    library = ctypes.CDLL(os.environ["ZARNIX_TEST_ADAPTER"])
    with zarnix.open(virtual_clock=True) as camera:
        camera.dump(tmp_path / "f.qcs")
    with zarnix.open(adapter_lib=os.environ["ZARNIX_TEST_ADAPTER"]) as camera, \
            pytest.raises(zarnix.MismatchError, match="Error Settings not stored: 1000") as mismatch:
        camera.load(tmp_path / "f.qcs", progress=lambda done, total: library.ZarnixTestAdapterPoke(0xA0, 0, 0x5A))
    assert mismatch.value.code == 0x1000


def test_cameras_of_a_line_are_verified_against_the_file(tmp_path, settings_file):
    states = [tmp_path / f"cam{k}.state" for k in range(3)]
    cameras = zarnix.open_all(sim_states=states, virtual_clock=True)
    assert [camera.backend for camera in cameras] == [f"the simulated camera (state in {s})" for s in states]
    in_file = cameras[0].read(0xE2, 0x10)
    cameras[1].write(0xA0, 0x04, 0x12)
    cameras[1].write(0xE2, 0x10, in_file ^ 0xFF)
    assert [camera.verify(settings_file, all=True) for camera in cameras] == [[], [
        {"register": (0xA0, 0x04), "file": 0x80, "camera": 0x12, "name": "brightness"},
        {"register": (0xE2, 0x10), "file": in_file, "camera": in_file ^ 0xFF, "name": None}], []]
    for camera in cameras:
        camera.close()
    with pytest.raises(zarnix.OpenAllError) as failed:  # no such bus, and two cameras on one state file
        zarnix.open_all(buses=("no such adapter",), sim_states=(states[0], states[0]), virtual_clock=True)
    assert [(type(error), error.camera) for error in failed.value.exceptions] == [
        (zarnix.NoCameraError, "no such adapter"), (zarnix.BusyError, str(states[0]))]
    assert failed.value.cameras[0].read(0xA0, 0x04) == 0x80 and len(failed.value.cameras) == 1


def test_a_line_goes_on_without_the_camera_that_cannot_be_opened(tmp_path, settings_file):
    states, unplugged_state = [tmp_path / f"cam{k}.state" for k in range(3)], unplugged(tmp_path)
    (tmp_path / "line.py").write_text(next(program for program in PROGRAMS if "OpenAllError" in program))
    line = subprocess.run([sys.executable, "line.py", settings_file, *states[:2], unplugged_state, states[2]],
                          cwd=tmp_path, capture_output=True, text=True)
    rows = {row[0]: row[2] for row in csv.reader(line.stdout.splitlines()[1:])}
    assert line.returncode == 1 and rows.pop(str(unplugged_state)) == "failed: No valid address found, re-power cam and retry."
    assert list(rows.values()) == ["ok"] * 3 and [kept(s, "commits") for s in states] == ["1"] * 3


# A call in a thread of its own, held at its first progress step until released, then stopped.
class HeldCall(threading.Thread):
    def __init__(self, call):
        super().__init__(target=lambda: setattr(self, "said", refusal(lambda: call(self.progress), zarnix.StoppedError)))
        self.started, self.released = threading.Event(), threading.Event()

    def progress(self, done, total):
        self.started.set()
        self.released.wait()


@pytest.mark.parametrize("job, end, left", [
    (lambda c, f, p: c.dump(f.parent / "cut.qcs", progress=p), "stop", "Stopped after reading register a0:00, no "),
    (lambda c, f, p: c.load(f, all=True, progress=p), "close", "Stopped after writing register a0:00, settings not "),
])
def test_a_call_in_another_thread_is_stopped_after_the_register_under_way(camera, state, settings_file, job, end, left):
    worker = HeldCall(lambda progress: job(camera, settings_file, progress))
    worker.start()
    worker.started.wait()
    ender = threading.Thread(target=getattr(camera, end))
    ender.start()
    while ender.is_alive() and "closed" not in refusal(lambda: camera.read(0xA1, 0)):
        pass  # until stop() has returned, or close() waits for the call
    worker.released.set()
    worker.join()
    ender.join()
    assert worker.said.startswith(left)
    camera.close()
    assert kept(state, "commits") == "0" and not (settings_file.parent / "cut.qcs").exists()


def test_a_cancelled_asyncio_task_of_the_readme_stops_its_load(camera, state, settings_file):
    program, names = next(program for program in PROGRAMS if "asyncio" in program), {}
    exec(program[:program.index("\nwith contextlib")], names)  # its coroutines, not their run
    held, stopped = HeldCall(None), []  # stopped: what the load raised in its thread
    seen = types.SimpleNamespace(stop=lambda: (camera.stop(), held.released.set()), load=lambda path, all: stopped.append(
        refusal(lambda: camera.load(path, all=all, progress=held.progress), zarnix.StoppedError)))

    async def line():
        task = asyncio.create_task(names["program"](seen, settings_file))
        await asyncio.to_thread(held.started.wait)
        task.cancel()
        with contextlib.suppress(asyncio.CancelledError):
            await task
        return task.cancelled()

    assert asyncio.run(line()) and "nothing was committed" in stopped[0]
    camera.close()
    assert kept(state, "commits") == "0"


def test_the_plugin_closes_the_camera_of_a_failing_test(pytester):
    pytester.makepyfile(test_readme=next(program for program in PROGRAMS if "def test_" in program), test_left="""
        import pytest, zarnix
        left = []
        def test_fails(zarnix_camera):
            left.append(zarnix_camera)
            assert False
        def test_closed_after_it():
            with pytest.raises(zarnix.Error, match="closed"):
                left[0].read(0xA1, 0x04)
    """)
    pytester.runpytest("-p", "zarnix.pytest_plugin").assert_outcomes(passed=4, failed=1)
    pytester.runpytest("-p", "zarnix.pytest_plugin", "--zarnix-bus", "no such adapter", "-k", "not closed"
                       ).assert_outcomes(errors=4)


@pytest.mark.parametrize("installed", [False, True])
def test_mypy_finds_the_types_where_the_package_lies(tmp_path, installed):
    env = dict(os.environ)
    if installed:  # with nothing but PYTHONPATH naming the prefix's folder
        subprocess.run(["cmake", "--install", os.environ["ZARNIX_BUILD_DIR"], "--prefix", tmp_path], check=True,
                       capture_output=True)
        env["PYTHONPATH"] = str(next(tmp_path.glob("lib/python3*/dist-packages")))
        found = subprocess.run([sys.executable, "-m", "pytest", "--help"], env=env, capture_output=True, text=True)
        assert "--zarnix-bus=N" in found.stdout  # by the entry point
    for k, text in enumerate(PROGRAMS):
        (tmp_path / f"readme{k}.py").write_text(text)
    env["MYPY_CACHE_DIR"] = os.path.join(os.environ["ZARNIX_BUILD_DIR"], "mypy-cache")
    for check in (["mypy", "--strict", *(f"readme{k}.py" for k in range(len(PROGRAMS)))],
                  ["mypy.stubtest", "--allowlist", README.parent / "python/stubtest-allowlist.txt", "zarnix"]):
        subprocess.run([sys.executable, "-m", *check], env=env, cwd=tmp_path, check=True)

# The Python module on the simulated camera with the virtual clock: every call,
# every kind of error where it arises, and Ctrl-C in the middle of a transfer.
import ctypes
import os
import signal
import subprocess
import sys

import pytest

import zarnix

ZARNIXCTL = os.environ["ZARNIXCTL"]
BLOCKS = ["Eeprom", "ISP B0", "ISP B1", "Stat B0", "Stat B1"]


def tool(*args):
    return subprocess.run([ZARNIXCTL, *args], check=True, capture_output=True, text=True).stdout


def sim(state, **options):
    return zarnix.open(sim_state=state, virtual_clock=True, **options)


def kept(state, word):
    """A line of the simulated camera's state file: 'commits' or 'present'."""
    return next(line.split()[1] for line in state.read_text().splitlines() if line.startswith(word + " "))


@pytest.fixture
def state(tmp_path):
    return tmp_path / "cam.state"


@pytest.fixture
def camera(state):
    with sim(state) as camera:
        yield camera


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
    assert [[c["name"], "30:%02x" % c["register"][1]] for c in zarnix.commands()] == listed
    assert all(c["register"][0] == 0x30 for c in zarnix.commands())
    assert [b["device"] for b in zarnix.buses()] == [
        "/dev/" + line.split("\t")[0] for line in tool("--list-buses").splitlines()]


@pytest.fixture
def unplugged(tmp_path):
    """A camera whose state says nothing answers on the bus."""
    state = tmp_path / "unplugged.state"
    sim(state).close()
    state.write_text(state.read_text().replace("present yes", "present no"))
    assert kept(state, "present") == "no"
    return state


def test_a_save_on_a_camera_that_stops_answering_raises(tmp_path):
    state = tmp_path / "fading.state"
    sim(state).close()
    state.write_text(state.read_text().replace("present yes", "present yes\nunplug-after 100"))  # the read-back: 88
    with sim(state, address=0x70) as camera, pytest.raises(zarnix.BusError) as failed:
        camera.save()
    assert failed.value.register == (0xA0, 0x06)


@pytest.mark.parametrize("call, register", [
    (lambda c, f: c.read(0xA1, 0x04), (0xA1, 0x04)),
    (lambda c, f: c.write(0xA0, 0x04, 0x01), (0xA0, 0x04)),
    (lambda c, f: c.set("brightness", 0x80), (0x30, 0x04)),
    (lambda c, f: c.settings(), (0xA1, 0x00)),
    (lambda c, f: c.save(), (0xA1, 0x00)),
    (lambda c, f: c.dump(f), (0xA0, 0x00)),
    (lambda c, f: c.load(f), (0xA0, 0x00)),
])
def test_a_failed_transaction_names_its_register(settings_file, unplugged, call, register):
    with sim(unplugged, address=0x70) as camera, pytest.raises(zarnix.BusError) as failed:
        call(camera, settings_file)
    assert failed.value.register == register and "acknowledge" in str(failed.value)
    with pytest.raises(zarnix.NoCameraError, match="No valid address found"):
        sim(unplugged)


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
    assert holder.wait() == 0 and busy.value.holder == holder.pid
    assert not str(busy.value).startswith("Error")
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


@pytest.mark.parametrize("options, problem", [
    ({"address": 0x71}, "odd"), ({"address": 0x1FE}, "not below 0xfc"),
    ({"bus": 3}, "choose one of simulate=True"), ({"force": True}, "force=True is for an i2c-dev bus"),
])
def test_a_choice_that_cannot_be_is_refused(state, options, problem):
    with pytest.raises(ValueError, match=problem):
        sim(state, **options)


def test_a_camera_serves_one_call_at_a_time_and_none_after_close(camera, settings_file):
    with pytest.raises(zarnix.Error, match="busy with another call"):
        camera.load(settings_file, progress=lambda done, total: camera.read(0xA1, 0))
    camera.close()
    for call in (lambda: camera.address, camera.search, camera.settings, lambda: camera.__enter__()):
        with pytest.raises(zarnix.Error, match="closed"):
            call()


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
    for camera in cameras:
        camera.load(settings_file, all=True)
    in_file = cameras[0].read(0xE2, 0x10)
    cameras[1].write(0xA0, 0x04, 0x12)
    cameras[1].write(0xE2, 0x10, in_file ^ 0xFF)
    assert [camera.verify(settings_file, all=True) for camera in cameras] == [[], [
        {"register": (0xA0, 0x04), "file": 0x80, "camera": 0x12, "name": "brightness"},
        {"register": (0xE2, 0x10), "file": in_file, "camera": in_file ^ 0xFF, "name": None}], []]
    for camera in cameras:
        camera.close()
    with pytest.raises(zarnix.BusyError):  # two cameras on one state file
        zarnix.open_all(sim_states=[states[0], states[0]], virtual_clock=True)

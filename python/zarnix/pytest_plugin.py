"""pytest fixtures for suites that test a Zarnix camera.

zarnix_camera is a simulated camera on the virtual clock, fresh for each test
(its state file is zarnix_sim_state, in the test's own folder), and closed after
the test whether it passed or not, so that a failing test cannot leave the next
one a busy camera. With --zarnix-bus N the same tests run against the camera on
that i2c-dev bus (number, device or adapter name); zarnix_sim_state is then None.
"""
from collections.abc import Iterator
from pathlib import Path
from typing import Optional

import pytest

import zarnix


def pytest_addoption(parser: pytest.Parser) -> None:
    parser.getgroup("zarnix").addoption(
        "--zarnix-bus", metavar="N", default=None,
        help="run zarnix_camera on this i2c-dev bus (number, device or adapter name) instead of a simulated camera")


@pytest.fixture
def zarnix_sim_state(request: pytest.FixtureRequest, tmp_path: Path) -> Optional[Path]:
    """The simulated camera's state file, or None on a real bus."""
    return None if request.config.getoption("zarnix_bus") else tmp_path / "camera.state"


@pytest.fixture
def zarnix_camera(request: pytest.FixtureRequest, zarnix_sim_state: Optional[Path]) -> Iterator[zarnix.Camera]:
    """An open camera, closed after the test; a call still running in another thread is stopped first."""
    bus: Optional[str] = request.config.getoption("zarnix_bus")
    with (zarnix.open(bus=bus) if bus else zarnix.open(sim_state=zarnix_sim_state, virtual_clock=True)) as camera:
        yield camera

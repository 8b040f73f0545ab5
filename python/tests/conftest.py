"""The tests run against the native build (QEL_LIBRARY names it) on the virtual rig, which
importing qel.sim chooses."""
import pytest

from qel import sim


@pytest.fixture(autouse=True)
def rig():
    """Every test starts from the default population without faults."""
    sim.reset(True)
    yield
    sim.clear_faults()
    sim.set_virtual_time(False)


@pytest.fixture
def cam():
    import qel

    with qel.Camera.open(0, 480, 270, 30.0, "YUY2") as camera:
        yield camera

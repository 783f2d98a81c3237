import pytest

from recorder import SETTINGS_KEY, STATE_KEY
from winesession import WineSession


@pytest.fixture(scope="session")
def session():
    """One Wine session (1024x768 at 24 bits, sound through a null sink) for the run."""
    s = WineSession()
    try:
        yield s
    finally:
        s.close()


@pytest.fixture(scope="session", params=[16, 8])
def deep_session(request):
    """Sessions on a 16-bit and an 8-bit screen, for the colour-depth paths; each test that asks
    runs once on each."""
    s = WineSession(depth=request.param)
    s.depth = request.param
    try:
        yield s
    finally:
        s.close()


@pytest.fixture(autouse=True)
def end_what_the_test_started(request):
    """Programs a test started and left running (a failed test's message box, say) are ended
    after it, so they cannot confuse the tests that share the session."""
    if "session" not in request.fixturenames:
        yield
        return
    session = request.getfixturevalue("session")
    before = len(session.procs)
    yield
    for proc in session.procs[before:]:
        if proc.poll() is None:
            proc.kill()
            try:
                proc.wait(timeout=10)
            except Exception:
                pass
    del session.procs[before:]


@pytest.fixture
def fresh_settings(session):
    """Every test starts from the defaults and leaves them for the next."""
    session.wine("reg", "delete", SETTINGS_KEY, "/f", check=False)
    yield
    session.wine("reg", "delete", SETTINGS_KEY, "/f", check=False)


@pytest.fixture
def stay_visible(session):
    """The main window stays as it is while recording, so its states can be seen."""
    session.wine("reg", "add", STATE_KEY, "/v", "WndHide", "/t", "REG_DWORD", "/d", "1047", "/f")
    yield
    session.wine("reg", "delete", STATE_KEY, "/v", "WndHide", "/f", check=False)

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


@pytest.fixture(scope="session")
def screens():
    """Sessions on screens of other colour depths: screens(16) is made at its first use and kept
    for the run, so every test at that depth shares one, whatever order the tests run in."""
    made = {}

    def at(depth):
        if depth not in made:
            s = WineSession(depth=depth)
            s.depth = depth
            made[depth] = s
        return made[depth]

    try:
        yield at
    finally:
        for s in made.values():
            s.close()


@pytest.fixture(params=[16, 8])
def deep_session(request, screens):
    """A session on a 16-bit and on an 8-bit screen, for the colour-depth paths; each test that
    asks runs once on each."""
    return screens(request.param)


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


# On several workers (pytest-xdist -n N --dist loadgroup), each with Wine sessions of its own:
# the tests mostly wait on the real clock, so two at once take half the time. A module's tests
# stay together on one worker (they share its fixtures), and so do the tests on screens of other
# depths (they share those sessions); the longest groups start first. The tests that measure a
# take against the clock (frames and sound in step, counted a second at a time) lose frames to
# another worker's load on a two-core machine, as a user's recording would: they are marked
# "alone", and tools/test runs them on their own.
LONGEST_FIRST = ["test_region_selector", "test_install", "test_pages", "screens",
                 "test_screen_codec", "test_system_codec", "test_control", "test_automation",
                 "test_hot_keys"]
ALONE = {"test_recording", "test_sound", "test_movie_file", "test_input_overlay"}


def pytest_configure(config):
    config.addinivalue_line("markers", "alone: measured against the clock; run with no other "
                            "test beside it")


def pytest_collection_modifyitems(config, items):
    def group(item):
        if {"deep_session", "session16"} & set(item.fixturenames):
            return "screens"
        return item.module.__name__.rsplit(".", 1)[-1]

    for item in items:
        item.add_marker(pytest.mark.xdist_group(group(item)))
        if group(item) in ALONE:
            item.add_marker(pytest.mark.alone)
    if not getattr(config.option, "numprocesses", None):
        return
    rank = {name: i for i, name in enumerate(LONGEST_FIRST)}
    items.sort(key=lambda item: rank.get(group(item), len(rank)))

import pytest

from winesession import WineSession


@pytest.fixture(scope="session")
def session():
    """One Wine session (1024x768 at 24 bits, sound through a null sink) for the run."""
    s = WineSession()
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

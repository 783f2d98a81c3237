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

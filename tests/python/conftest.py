"""Shared fixtures of the Python tests."""

import os
import urllib.error
import urllib.request

import pytest

QDRANT_URL_VARIABLE = "ZORV_TEST_QDRANT_URL"


@pytest.fixture(scope="session")
def qdrant_url():
    """Base URL of a live Qdrant server, or a skip saying how to provide one."""
    url = os.environ.get(QDRANT_URL_VARIABLE, "").rstrip("/")
    if not url:
        pytest.skip(
            f"no Qdrant server: run the tests through scripts/test (it starts ../shared/qdrant/start when "
            f"that folder exists) or set {QDRANT_URL_VARIABLE} to a running server's URL"
        )
    try:
        with urllib.request.urlopen(url + "/readyz", timeout=10) as reply:
            reply.read()
    except (urllib.error.URLError, OSError) as error:
        pytest.fail(f"{QDRANT_URL_VARIABLE}={url} does not answer: {error}")
    return url

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


def _address(variable, what):
    url = os.environ.get(variable, "").rstrip("/")
    if not url:
        pytest.skip(f"no {what}: run the tests through scripts/test or set {variable}")
    return url


@pytest.fixture(scope="session")
def qdrant_grpc_url(qdrant_url):
    """The gRPC address of the server behind `qdrant_url`."""
    return _address("ZORV_TEST_QDRANT_GRPC_URL", "Qdrant gRPC address")


@pytest.fixture(scope="session")
def qdrant_auth_grpc_url():
    """The gRPC address of a server that requires the api key "secret"."""
    return _address("ZORV_TEST_QDRANT_AUTH_GRPC_URL", "Qdrant server with an api key")

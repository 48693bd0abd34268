import os
import pathlib

import pytest

SOURCE_DIR = pathlib.Path(os.environ.get("UAVSIM_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))


def pytest_configure(config):
    config.addinivalue_line("markers", "dask: starts Dask clusters (local, or scheduler and worker processes)")
    # Debian's tornado and distributed 2022.12 together; nothing of ours.
    config.addinivalue_line("filterwarnings", "ignore:make_current is deprecated:DeprecationWarning")


@pytest.fixture(scope="session")
def source_dir():
    return SOURCE_DIR


@pytest.fixture(scope="session")
def trainer():
    return str(SOURCE_DIR / "models" / "trainer.mdl")


@pytest.fixture(scope="session")
def run_exe():
    exe = os.environ.get("UAVSIM_RUN_EXE")
    if not exe or not os.path.exists(exe):
        pytest.skip("UAVSIM_RUN_EXE (the built uavsim-run) is not set; ctest sets it")
    return exe

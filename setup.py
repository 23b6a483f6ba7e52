"""The Python package kmv, built by the project's CMake through scikit-build:

    python3 -m venv --system-site-packages .venv
    .venv/bin/pip install --no-build-isolation .
"""
from skbuild import setup

setup(
    name="kmv",
    version="1.0.1",
    description="Detection and conversion of Japanese text encodings",
    packages=["kmv"],
    package_dir={"": "python"},
    package_data={"kmv": ["py.typed", "__init__.pyi"]},
    python_requires=">=3.9",
    extras_require={"dask": ["dask", "distributed"]},
    cmake_args=["-DKMV_BUILD_TESTS=OFF", "-DKMV_BUILD_TOOLS=OFF",
                "-DKMV_PYTHON_INSTALL_DIR=python"],
    cmake_install_target="install-python",
)

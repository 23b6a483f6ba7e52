import os
import shutil
import subprocess

import pytest

SOURCES = ["CMakeLists.txt", "pyproject.toml", "setup.py", "cmake", "include",
           "src", "python"]


@pytest.mark.skipif(os.environ.get("KMV_SKIP_PIP") == "1",
                    reason="KMV_SKIP_PIP=1")
def test_pip_installs_offline_into_a_fresh_venv(tmp_path, root):
    def left_out(directory, names):
        top = directory == str(root)
        return [n for n in names if (top and n not in SOURCES) or n in
                ("tests", "__pycache__") or n.endswith(".egg-info")]
    tree = tmp_path / "kmv"
    shutil.copytree(root, tree, ignore=left_out)
    venv = tmp_path / "venv"
    subprocess.run(["/usr/bin/python3", "-m", "venv", "--system-site-packages",
                    str(venv)], check=True)
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    env.update(PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1")
    subprocess.run([str(venv / "bin/pip"), "install", "-q",
                    "--no-build-isolation", str(tree)], check=True, env=env,
                   cwd=tmp_path)
    probe = ("import kmv; print(kmv.__file__); "
             "print(kmv.decode('日本語'.encode('cp932'), 'cp932'))")
    out = subprocess.run([str(venv / "bin/python"), "-c", probe], check=True,
                         env=env, cwd=tmp_path, capture_output=True,
                         text=True).stdout.split()
    assert out[0].startswith(str(venv)) and out[1] == "日本語"

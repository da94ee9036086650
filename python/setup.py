"""The compiled module vorlex._vorlex, built by setuptools against an
installed libvorlex: pkg-config gives its headers, library folder and
version, and the module records that folder as its run path, so it loads
the same libvorlex (and that library its plug-ins) without LD_LIBRARY_PATH.
Everything else is in pyproject.toml."""
import os
import shlex
import subprocess
import sys

from setuptools import Extension, setup

HERE = os.path.dirname(os.path.abspath(__file__))


def pkg_config(*args):
    try:
        out = subprocess.run(["pkg-config", *args, "vorlex"], check=True,
                             capture_output=True, text=True).stdout
    except FileNotFoundError:
        sys.exit("vorlex: pkg-config is not installed (Debian: pkg-config)")
    except subprocess.CalledProcessError as e:
        sys.exit("vorlex: libvorlex not found by pkg-config; install it (make install "
                 "PREFIX=...) and set PKG_CONFIG_PATH=<prefix>/lib/pkgconfig\n" + e.stderr)
    return out.strip()


libdir = pkg_config("--variable=libdir")
sources = sorted(os.path.join("src", f) for f in os.listdir(os.path.join(HERE, "src"))
                 if f.endswith(".cpp"))
module = Extension(
    "vorlex._vorlex",
    sources=sources,
    include_dirs=["src"],
    extra_compile_args=[*shlex.split(pkg_config("--cflags")), "-std=c++20",
                        "-fvisibility=hidden"],
    extra_link_args=shlex.split(pkg_config("--libs")),
    runtime_library_dirs=[libdir],
    language="c++",
)

setup(version=pkg_config("--modversion"), ext_modules=[module])

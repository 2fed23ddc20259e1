#!/usr/bin/env bash
# The Python package as the README installs it: pip install --no-build-isolation into a venv
# with the system's packages, no package index, from a source tree whose build/ is this build
# folder, as `make python` leaves it: pip takes its extension (no configuration, no second
# build of the engine); then the README's example, run from another folder, prints what the
# README says.
set -euo pipefail
python=${1:?usage: python_install_test.sh PYTHON BUILD}
build=$(cd "${2:?usage: python_install_test.sh PYTHON BUILD}" && pwd)
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" -m venv --system-site-packages "$work/venv"
# The source tree, its build/ this build folder.
mkdir "$work/tree"
for entry in setup.py pyproject.toml README.md python; do ln -s "$here/$entry" "$work/tree/$entry"; done
ln -s "$build" "$work/tree/build"
env -u QUILLFEN_BUILD "$work/venv/bin/pip" install --verbose --no-build-isolation --no-index "$work/tree" >"$work/pip.log" 2>&1 \
  || { cat "$work/pip.log"; exit 1; }
grep -q "quillfen: the extension of the build folder $build " \
  "$work/pip.log" || { cat "$work/pip.log"; echo "pip did not take build/'s extension" >&2; exit 1; }
if grep -q "Configuring done" "$work/pip.log"; then cat "$work/pip.log"; echo "pip configured a build of its own" >&2; exit 1; fi
# The README's example: its Python block under "## Python", with its comments as expectations.
awk '/^## Python$/ {in_section = 1} in_section && /^```python$/ {code = 1; next} code && /^```$/ {exit} code' \
  "$here/README.md" >"$work/example.py"
[ -s "$work/example.py" ]
expected=$(sed -n 's/^print(.*# \([^:]*\).*$/\1/p' "$work/example.py")
cd "$here" && actual=$(env -u PYTHONPATH "$work/venv/bin/python" "$work/example.py")
if [ "$actual" != "$expected" ]; then
  printf 'the README example printed:\n%s\nits comments say:\n%s\n' "$actual" "$expected" >&2
  exit 1
fi
# The installed package is the venv's, not the build folder's.
env -u PYTHONPATH "$work/venv/bin/python" -c 'import quillfen, sys; assert "/venv/" in quillfen.__file__, quillfen.__file__'
echo "installed and ran the README example"

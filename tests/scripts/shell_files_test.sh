#!/usr/bin/env bash
# quillfen-cli's shell completions and manual pages as an install leaves them: cmake --install
# into a temporary prefix puts them where bash, zsh, fish and man look; the bash completion
# loads and completes commands, operations, options and catalogue names; the zsh and fish files
# are read by their shells (fish completes too); every page renders with man, without warnings.
# A shell that is not installed is said and skipped (scripts/install-deps.sh test installs both).
#   tests/scripts/shell_files_test.sh BUILD
set -euo pipefail
build=$(cd "${1:?usage: shell_files_test.sh BUILD}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
# Their own component, as the whole install puts them (without needing the rest built).
cmake --install "$build" --prefix "$prefix" --component shell-files >/dev/null
share=$prefix/share
bash_file=$share/bash-completion/completions/quillfen-cli
zsh_file=$share/zsh/site-functions/_quillfen-cli
fish_file=$share/fish/vendor_completions.d/quillfen-cli.fish
for file in "$bash_file" "$zsh_file" "$fish_file" "$share/man/man1/quillfen-cli.1"; do
  [ -s "$file" ] || { echo "not installed: ${file#"$prefix"/}" >&2; exit 1; }
done
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

# bash: the completion is registered, and each line completes to what follows it.
registered=$(bash -c 'source "$1"; complete -p quillfen-cli' bash "$bash_file")
[ "$registered" = "complete -o filenames -F _quillfen_cli quillfen-cli" ] || fail "bash registers: $registered"
bash_completes() {  # WORDS... -> the completions, one a line
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _quillfen_cli 2>/dev/null
           printf "%s\n" "${COMPREPLY[@]}"' bash "$bash_file" "$@"
}
expect() {  # EXPECTED WORDS...: the completions joined by spaces
  local expected=$1
  shift
  local got
  got=$(bash_completes "$@" | tr '\n' ' ' | sed 's/ $//')
  [ "$got" = "$expected" ] || fail "bash: '$*' completes to '$got', not '$expected'"
}
expect "threshold" quillfen-cli thr
expect "gray-level" quillfen-cli threshold gray
expect "--jobs --jsonl" quillfen-cli robustness --j
expect "real-jpeg:q=50,median" quillfen-cli robustness --attacks real-jpeg:q=50,med
expect "spread-spectrum spread-spectrum-sync" quillfen-cli embed --method sp
expect "crop-zero-quarter crop-zero-half" quillfen-cli experiment --attack crop-zero
expect "gauss-noise gaussian-blur" quillfen-cli attack gauss
expect "--low" quillfen-cli histogram ends-in --lo
echo "bash: the completion loads and completes commands, operations, options and catalogue names"

if command -v zsh >/dev/null; then
  zsh -n "$zsh_file" || fail "zsh cannot read $zsh_file"
  # Loaded as the completion system loads it, it defines its function and nothing fails.
  zsh -f -c 'fpath=("$1" $fpath); autoload -Uz compinit; compinit -u -D; autoload -Uz _quillfen-cli;
             (( $+functions[_quillfen-cli] ))' zsh "$(dirname "$zsh_file")" || fail "zsh does not load _quillfen-cli"
  echo "zsh: the completion file reads and loads"
else
  echo "zsh: not installed, its file not checked"
fi

if command -v fish >/dev/null; then
  fish --no-execute "$fish_file" || fail "fish cannot read $fish_file"
  got=$(fish -c 'source $argv[1]; complete -C "quillfen-cli threshold gray"' "$fish_file" | cut -f1)
  [ "$got" = "gray-level" ] || fail "fish: 'quillfen-cli threshold gray' completes to '$got'"
  got=$(fish -c 'source $argv[1]; complete -C "quillfen-cli robustness --method q"' "$fish_file" | cut -f1)
  [ "$got" = "qim" ] || fail "fish: '--method q' completes to '$got'"
  echo "fish: the completion file reads and completes"
else
  echo "fish: not installed, its file not checked"
fi

# Every page renders, with no warning from the formatter, and names its command.
pages=0
for page in "$share"/man/man1/quillfen-cli*.1; do
  name=$(basename "$page" .1)
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l $name"
  [ -z "$warnings" ] || fail "man -l $name: $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "^NAME" || fail "man -l $name shows no NAME"
  pages=$((pages + 1))
done
[ "$pages" -ge 15 ] || fail "$pages manual pages, not one for the program and each of its 14 commands"
echo "man: $pages pages render without warnings"
exit $failed

"""The toolbox of gray-image operations, made from the same catalogue as quillfen-cli's
toolbox commands and the desktop program's popup menu: one function per command group
(``threshold``, ``histogram``, ``edge``, ``noise``) taking the operation's name, and one per
command of its own (``thin``, ``invert``, ``label``).

    >>> binary, level = toolbox.threshold(picture, "kapur")
    >>> edges = toolbox.edge(picture, "sobel")
    >>> labels, count = toolbox.label(binary)

Each returns the new picture, or, for an operation whose report carries numbers (a threshold,
the bounds of a stretch, the count of objects), the tuple (picture, number, ...). The options
of the command line are keywords: ``toolbox.threshold(p, "ptile", percent=30)``,
``toolbox.edge(p, "hough", theta=360, line_based=True)``. :func:`apply` gives the report too.
"""
from __future__ import annotations

from typing import Any, Callable, Dict, List, Optional, Tuple

import numpy as np

from . import _quillfen

__all__ = ["apply", "operations"]


def operations() -> List[Dict[str, Any]]:
    """The catalogue: ``{group, command, help, caption, menu, arguments: [{option, help, initial}]}``
    for every operation, in the order of the desktop program's menu (group is None for a
    command of its own)."""
    return _quillfen._toolbox_operations()


def _keyword(option: str) -> str:
    return option.lstrip("-").replace("-", "_")


def _values(operation: Dict[str, Any], arguments: Dict[str, Any]) -> List[int]:
    known = {_keyword(a["option"]): a for a in operation["arguments"]}
    unknown = sorted(set(arguments) - set(known))
    if unknown:
        accepted = ", ".join(known) or "none"
        hint = _quillfen._did_you_mean(unknown[0], list(known))
        raise _quillfen.Error(f"{operation['command']}: no argument {unknown[0]!r}{', ' + hint if hint else ''} "
                              f"(accepted: {accepted})")
    values = []
    for name, argument in known.items():
        value = arguments.get(name, argument["initial"])
        if isinstance(value, bool):
            value = int(value)
        if not isinstance(value, (int, np.integer)):
            raise _quillfen.Error(f"{operation['command']}: {name} must be a whole number, not {value!r}")
        if not -2**31 <= int(value) < 2**31:
            raise _quillfen.Error(f"{operation['command']}: {name} {value} is out of range")
        values.append(int(value))
    return values


def _find(group: Optional[str], command: str) -> Dict[str, Any]:
    for operation in _OPERATIONS:
        if operation["group"] == group and operation["command"] == command:
            return operation
    names = ", ".join(o["command"] for o in _OPERATIONS if o["group"] == group)
    hint = _quillfen._toolbox_suggestion(group or "", command) if isinstance(command, str) else ""
    raise _quillfen.Error(f"{group or 'toolbox'}: no operation {command!r}{', ' + hint if hint else ''} "
                          f"(operations: {names})")


def apply(picture: np.ndarray, group: Optional[str], command: str,
          **arguments: Any) -> Tuple[np.ndarray, List[float], Optional[str]]:
    """Runs one operation (``group`` None for a command of its own) on a copy of ``picture``
    and returns ``(new picture, the report's numbers, the report's line or None)``, the line
    as quillfen-cli prints it. Error for an argument its rule refuses; the operation's own
    refusals (one gray level for a stretch, more than 254 objects for labeling) too."""
    operation = _find(group, command)
    return _quillfen._toolbox_apply(group or "", command, picture, _values(operation, arguments))


def _result(picture: np.ndarray, numbers: List[float]) -> Any:
    return (picture, *numbers) if numbers else picture


def _describe(operation: Dict[str, Any]) -> str:
    text = f"{operation['command']}: {operation['help']}"
    for a in operation["arguments"]:
        text += f"\n        {_keyword(a['option'])}={a['initial']}: {a['help']}"
    return text


def _group_function(group: str, help_text: str) -> Callable[..., Any]:
    def run(picture: np.ndarray, operation: str, **arguments: Any) -> Any:
        result, numbers, _ = apply(picture, group, operation, **arguments)
        return _result(result, numbers)

    listed = "\n    ".join(_describe(o) for o in _OPERATIONS if o["group"] == group)
    run.__name__ = run.__qualname__ = group
    run.__doc__ = f"{help_text}. ``{group}(picture, operation, **arguments)``; operations:\n    {listed}"
    return run


def _command_function(command: str) -> Callable[..., Any]:
    def run(picture: np.ndarray, **arguments: Any) -> Any:
        result, numbers, _ = apply(picture, None, command, **arguments)
        return _result(result, numbers)

    run.__name__ = run.__qualname__ = command.replace("-", "_")
    run.__doc__ = _describe(_find(None, command))
    return run


_OPERATIONS = operations()
# The command groups with their help, as quillfen-cli lists them (help None: a command of its own).
_GROUP_HELP = dict(_quillfen._toolbox_commands())
for _operation in _OPERATIONS:
    _name = (_operation["group"] or _operation["command"]).replace("-", "_")
    if _name in globals():
        continue
    if _operation["group"]:
        globals()[_name] = _group_function(_operation["group"], _GROUP_HELP[_operation["group"]])
    else:
        globals()[_name] = _command_function(_operation["command"])
    __all__.append(_name)
del _operation, _name


def __dir__() -> List[str]:
    # The operations' functions and the catalogue's, not the modules the file imports.
    return sorted(__all__)

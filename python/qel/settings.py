"""A camera's settings by name, as the library describes them for the open camera."""
from __future__ import annotations

from collections.abc import Mapping
from ctypes import byref, c_double
from typing import TYPE_CHECKING, Iterator, List, NamedTuple, Optional, Sequence, Tuple, Union

from . import _lib
from .errors import BAD_ARGUMENT, BadArgumentError, NotSupportedError, error_for

if TYPE_CHECKING:
    from .camera import Camera

KINDS = {1: "integer", 2: "real", 3: "boolean", 4: "choice", 5: "group"}
READ, WRITE = 0x1, 0x2
HAS_DEFAULT, HAS_VALUE = 0x1, 0x2

Value = Union[int, float, bool, Tuple[int, ...]]


class Setting(NamedTuple):
    """One setting of an open camera. ``value`` is None for a write-only
    setting or one that could not be read; ``default`` where the library
    does not know it. ``minimum``/``maximum`` bound each member of a group;
    ``choices`` pairs a choice's value with its label."""

    name: str
    label: str
    unit: str
    kind: str  # integer, real, boolean, choice or group
    readable: bool
    writable: bool
    minimum: float
    maximum: float
    step: float
    default: Optional[Value]
    value: Optional[Value]
    choices: Tuple[Tuple[int, str], ...]
    call: str  # the library function that carries it out


def _text(field: bytes) -> str:
    return field.decode("latin-1")


def _typed(kind: str, values: Sequence[float], count: int) -> Value:
    """A value as Python writes it: groups as tuples, booleans as bool."""
    if kind == "group":
        return tuple(int(v) for v in values[:count])
    if kind == "boolean":
        return bool(values[0])
    if kind == "real":
        return float(values[0])
    return int(values[0])


def _setting(raw: _lib.QelSetting) -> Setting:
    kind = KINDS.get(raw.kind, str(raw.kind))
    return Setting(
        name=_text(raw.name), label=_text(raw.label), unit=_text(raw.unit), kind=kind,
        readable=bool(raw.access & READ), writable=bool(raw.access & WRITE),
        minimum=raw.minimum, maximum=raw.maximum, step=raw.step,
        default=(_typed(kind, [raw.defaultValue] * raw.valueCount, raw.valueCount)
                 if raw.flags & HAS_DEFAULT else None),
        value=_typed(kind, list(raw.value), raw.valueCount) if raw.flags & HAS_VALUE else None,
        choices=tuple((int(c.value), _text(c.label))
                      for c in raw.choices[:min(raw.choiceCount, _lib.SETTING_MAX_CHOICES)]),
        call=_text(raw.call))


class Settings(Mapping):
    """``camera.settings``: the camera's settings by name.

    ``settings["led"]`` describes a setting (a ``Setting``, its current value
    included); ``settings["led"] = 32`` changes it, and a group takes one
    value for every member or a sequence of all of them. Failures raise the
    library's error: ``OutOfRangeError`` (a ``ValueError``) outside the
    camera's range, ``NotSupportedError`` for a setting this camera lacks or
    cannot read or write, ``BadArgumentError`` for a name no camera has or a
    fraction given to a whole-number setting.
    """

    def __init__(self, camera: "Camera") -> None:
        self._camera = camera

    def list(self) -> List[Setting]:
        """Every setting the camera has, in the library's order, with values read just now."""
        raw, count = self._raw(read=True)
        return [_setting(s) for s in raw[:count]]

    def _raw(self, read: bool):
        """The library's list (read=True) or only its length (nothing read from the camera)."""
        camera = self._camera
        camera._raise_callback_error()
        lib = camera._lib
        raw = None
        count = lib.QelGetSettingList(camera.key, None, 0)
        if count >= 0 and read:
            raw = (_lib.QelSetting * max(count, 1))()
            count = lib.QelGetSettingList(camera.key, raw, count)
        if count < 0:
            raise error_for(lib, "QelGetSettingList")
        return raw, count

    def __getitem__(self, name: str) -> Setting:
        raw = _lib.QelSetting()
        self._camera._call("QelDescribeSetting", _name(name), byref(raw))
        return _setting(raw)

    def __setitem__(self, name: str, value: Union[float, bool, Sequence[float]]) -> None:
        if isinstance(value, (str, bytes)):
            raise TypeError(f"{name} takes a number, not text")
        values = [float(v) for v in value] if hasattr(value, "__iter__") else [float(value)]
        array = (c_double * max(len(values), 1))(*values)
        self._camera._call("QelSetSetting", _name(name), array, len(values))

    def __delitem__(self, name: str) -> None:
        raise TypeError("a camera's settings cannot be removed")

    def __iter__(self) -> Iterator[str]:
        return iter([s.name for s in self.list()])

    def __len__(self) -> int:
        return self._raw(read=False)[1]

    def __contains__(self, name: object) -> bool:
        return self.get(name) is not None  # type: ignore[arg-type]

    def get(self, name: str, default: Optional[Setting] = None) -> Optional[Setting]:  # type: ignore[override]
        """The setting's description, or default for one the camera lacks or no camera has."""
        try:
            return self[name]
        except (BadArgumentError, NotSupportedError):
            return default

    def __repr__(self) -> str:
        return f"<qel settings of key {self._camera.key}: {', '.join(self)}>"


def _name(name: object) -> bytes:
    if not isinstance(name, str):
        raise BadArgumentError("settings", BAD_ARGUMENT, f"a setting's name is text, not {name!r}")
    return name.encode("latin-1", "replace")

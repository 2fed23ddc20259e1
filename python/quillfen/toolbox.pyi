# The toolbox's functions are made from the catalogue when the module loads (threshold,
# histogram, edge, noise, thin, invert, label, ...): each takes a picture (and, for a group,
# the operation's name) with the command line's options as keywords, and returns the new
# picture or (picture, number, ...).
from typing import Any, Callable, Dict, List, Optional, Tuple

import numpy as np
import numpy.typing as npt

def operations() -> List[Dict[str, Any]]: ...
def apply(picture: npt.NDArray[np.uint8], group: Optional[str], command: str,
          **arguments: Any) -> Tuple[npt.NDArray[np.uint8], List[float], Optional[str]]: ...
def __getattr__(name: str) -> Callable[..., Any]: ...

#pragma once
// The robustness sweep and the calibration for Python (quillfen.robustness, quillfen.calibrate).
#include <string>
#include <vector>

#include <pybind11/pybind11.h>

namespace quillfen::python {

void RegisterSweeps(pybind11::module_& m);

}  // namespace quillfen::python

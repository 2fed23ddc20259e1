#pragma once
// The robustness sweep and the calibration for Python (quillfen.robustness, quillfen.calibrate).
#include <string>
#include <vector>

#include <pybind11/pybind11.h>

namespace quillfen::python {

void RegisterSweeps(pybind11::module_& m);

// "; did you mean 'qim'?" when the first method of `specs` whose name the catalogue does not know
// is near one it does; "" otherwise, and when `message` already offers one.
std::string MethodHint(const std::vector<std::string>& specs, const std::string& message);

}  // namespace quillfen::python

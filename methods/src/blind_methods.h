#pragma once
// The built-in methods' catalogue entries (method.cpp registers them): each entry's factory
// makes its method.
#include <memory>

#include "quillfen/methods/method.h"

namespace quillfen::detail {

std::shared_ptr<const MethodInfo> PolarityEntry();
std::shared_ptr<const MethodInfo> SpreadSpectrumEntry();
std::shared_ptr<const MethodInfo> QimEntry();
// quantisers.cpp
std::shared_ptr<const MethodInfo> StdmEntry();
std::shared_ptr<const MethodInfo> RdmEntry();

}  // namespace quillfen::detail

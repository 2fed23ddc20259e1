#pragma once
// The catalogue entry of the periodic mark that finds the geometry by itself (method.cpp
// registers it).
#include <memory>

#include "quillfen/methods/method.h"

namespace quillfen::detail {

std::shared_ptr<const MethodInfo> SpreadSpectrumSyncEntry();

}  // namespace quillfen::detail

#pragma once
// The two blind baselines' construction (method.cpp makes them through MakeMethod).
#include <memory>

#include "quillfen/methods/method.h"

namespace quillfen::detail {

std::unique_ptr<WatermarkMethod> MakeSpreadSpectrum(const MethodSpec& spec);
std::unique_ptr<WatermarkMethod> MakeQim(const MethodSpec& spec);
std::unique_ptr<WatermarkMethod> MakePolarity(const MethodSpec& spec);

}  // namespace quillfen::detail

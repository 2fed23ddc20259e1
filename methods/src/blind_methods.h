#pragma once
// The methods of the catalogue (method.cpp makes them through MakeMethod): what every one of
// them answers from its name and parameters, and the construction of each.
#include <memory>

#include "quillfen/methods/method.h"

namespace quillfen::detail {

class CatalogueMethod : public WatermarkMethod {
public:
    explicit CatalogueMethod(MethodSpec described) : spec_(std::move(described)) {}
    std::string Name() const override { return spec_.Method; }
    std::string Parameters() const override { return spec_.Parameters(); }
    MethodCapabilities Capabilities() const override { return spec_.Info().Capabilities; }
    int PayloadBits() const override { return spec_.PayloadBits(); }
    std::optional<double> Strength() const override { return spec_.Strength(); }
    std::optional<AttackParameter> StrengthParameter() const override;
    std::unique_ptr<WatermarkMethod> WithStrength(double value) const override;
    std::optional<std::pair<double, double>> Thresholds() const override {
        return std::pair{spec_.Info().Threshold1e3, spec_.Info().Threshold1e6};
    }

protected:
    MethodSpec spec_;
};

std::unique_ptr<WatermarkMethod> MakeSpreadSpectrum(const MethodSpec& described);
std::unique_ptr<WatermarkMethod> MakeQim(const MethodSpec& described);
std::unique_ptr<WatermarkMethod> MakePolarity(const MethodSpec& described);

}  // namespace quillfen::detail

// Fuzz entry point: METHOD.json descriptions of methods run as programs. Every input is either
// refused with one FormatError or gives a method whose declaration keeps the reader's promises
// (a plain name outside the catalogue, payload bits 0..64, thresholds in order, a strength
// default within its range) and whose identity is the same when read again. Nothing is run,
// and nothing is read: the description's folder does not exist, so neither does any file it
// names.
#include <cmath>
#include <cstdint>
#include <span>
#include <string>

#include "quillfen/image/errors.h"
#include "quillfen/methods/method_command.h"

namespace {

const std::filesystem::path kDescription = "/nonexistent-quillfen-fuzz/method.json";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    std::shared_ptr<const quillfen::WatermarkMethod> method;
    try {
        method = quillfen::MakeMethod(quillfen::DefaultsOf(quillfen::ParseMethodCommand(bytes, kDescription)));
    } catch (const quillfen::FormatError&) {
        return 0;  // a one-line refusal is the expected outcome for most inputs
    }
    const std::string name = method->Name();
    if (name.empty() || name.size() > quillfen::kMaxMethodNameBytes || quillfen::MethodRegistry::BuiltIn().Find(name) != nullptr)
        __builtin_trap();
    const quillfen::MethodCapabilities capabilities = method->Capabilities();
    if (!capabilities.Blind || capabilities.PayloadBits < 0 || capabilities.PayloadBits > quillfen::kMaxPayloadBits ||
        method->PayloadBits() != capabilities.PayloadBits)
        __builtin_trap();
    if (const auto thresholds = method->Thresholds())
        if (!(thresholds->first > -1 && thresholds->first <= thresholds->second && thresholds->second <= 1))
            __builtin_trap();
    if (const auto strength = method->StrengthParameter()) {
        const std::optional<double> value = method->Strength();
        if (!value || !std::isfinite(*value) || !(strength->Lowest > 0 && strength->Lowest <= *value &&
                                                  *value <= strength->Highest))
            __builtin_trap();
        // A copy at another strength is the same method, of the same identity.
        const auto other = method->WithStrength(strength->Highest);
        if (quillfen::MethodCommandSourceOf(*other)->Digest != quillfen::MethodCommandSourceOf(*method)->Digest)
            __builtin_trap();
    } else if (method->Strength()) {
        __builtin_trap();
    }
    const quillfen::MethodCommandSource* source = quillfen::MethodCommandSourceOf(*method);
    if (source == nullptr || source->Digest.size() != 16 ||
        source->Digest.find_first_not_of("0123456789abcdef") != std::string::npos)
        __builtin_trap();
    for (const std::filesystem::path& file : source->Files)
        if (file.string().rfind("/nonexistent-quillfen-fuzz", 0) != 0) __builtin_trap();
    const auto again = quillfen::MakeMethod(quillfen::DefaultsOf(quillfen::ParseMethodCommand(bytes, kDescription)));
    if (quillfen::MethodCommandSourceOf(*again)->Digest != source->Digest)
        __builtin_trap();
    return 0;
}

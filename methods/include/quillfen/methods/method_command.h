#pragma once
// Methods in any language: a method whose embedding and detection are programs, described by
// a JSON file (docs/methods.md):
//
//   {"name": "my-method",
//    "embed": ["python3", "{dir}/my_method.py", "embed", "{host}", "{out}", "{key}", "{seed}", "{payload}"],
//    "detect": ["python3", "{dir}/my_method.py", "detect", "{suspect}", "{key}"],
//    "payload_bits": 32, "picture_format": "pgm", "time_limit_seconds": 60,
//    "thresholds": {"1e-3": 0.02, "1e-6": 0.03},
//    "strength": {"lowest": 0.5, "highest": 40, "default": 4}}
//
// Each command is an argument list, run without a shell (the first word found on PATH when it
// holds no slash). A placeholder inside any word is replaced: {host} the host picture written
// for the embedding, {out} where the embedding writes the marked picture, {key} its key file
// (the embedding writes it, the detection reads it: any content), {seed} the seed, {payload}
// the payload bits as hexadecimal digits (PayloadHex; empty for a zero-bit method), {strength}
// the strength (when the method has one), {suspect} the picture to read, {dir} the folder of
// the JSON file. The pictures are gray, written as PNG or PGM ("picture_format"). The detection
// prints, as its last line on standard output, one JSON object with "score", a number in -1..1
// (about 0 for a picture without the mark), and "bits", a text of "0" and "1" of payload_bits
// characters, when the method carries a payload. A command that exits with another code than
// 0, dies, runs past the time limit (it is killed) or prints no such line fails with a message
// that names the method; a sweep makes error rows of it and goes on.
#include <filesystem>
#include <memory>

#include "quillfen/image/export.h"
#include "quillfen/methods/method.h"

QUILLFEN_API_BEGIN
namespace quillfen {

// Reads a method's JSON file. FormatError naming the file for anything else than the form above:
// a missing or empty name (the name must be a plain word that is not a method of the catalogue),
// a command that is not a non-empty list of texts, an unknown placeholder, a {payload} without
// payload bits, a {strength} without a strength, payload bits outside 0..64, a time limit
// outside 1..3600 seconds, thresholds outside -1..1 or in the wrong order. FileError when it
// cannot be read.
// The result is the method's catalogue entry (DeclaredEntry), for a front end's registry.
std::shared_ptr<const MethodInfo> LoadMethodCommand(const std::filesystem::path& described);

}  // namespace quillfen
QUILLFEN_API_END

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
// the strength (when the method has one), {suspect} the picture to read, {dir} the folder the
// JSON file is in (links to it followed). The pictures are gray, written as PNG or PGM
// ("picture_format"). The detection prints, as its last line on standard output, one JSON
// object with "score", a number in -1..1 (about 0 for a picture without the mark), and "bits",
// a text of "0" and "1" of payload_bits characters, when the method carries a payload. Of what
// a command prints, the last MiB of standard output and the last 64 KiB of standard error are
// kept. A command that exits with another code than 0, dies, runs past the time limit or prints
// no such line fails with a message that names the method; a sweep makes error rows of it and
// goes on.
//
// Each command runs in a process group of its own. The group is killed when the command ends
// (what it left running goes with it), at the time limit, and by StopMethodCommandsNow; the
// command's own end is waited for with the time limit too, whatever became of its output.
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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
QUILLFEN_EXPORT std::shared_ptr<const MethodInfo> LoadMethodCommand(const std::filesystem::path& described);
// The same from the file's bytes; `described` names it in messages and gives {dir}.
std::shared_ptr<const MethodInfo> ParseMethodCommand(std::span<const std::uint8_t> bytes,
                                                    const std::filesystem::path& described);

// What a method run as programs is made of: its description and every file its commands name
// in {dir} (the text of a word from "{dir}" to the next placeholder or the word's end, as
// "{dir}/m.py"), whether or not it exists, and the digest of them all (16 hex digits of a
// SHA-256 over the description's bytes and each file's name and content), which tells the rows
// of one version of the method from another's.
struct MethodCommandSource {
    std::filesystem::path Description;
    std::vector<std::filesystem::path> Files;
    std::string Digest;
};
// The source of a method that LoadMethodCommand made (and of its copies at other strengths);
// null for any other method.
const MethodCommandSource* MethodCommandSourceOf(const WatermarkMethod& method);

// Reads what a detection printed on standard output: its last line that holds anything, one
// JSON object with "score" in -1..1 and, for a key with a payload, "bits" of as many
// characters 0 and 1, whose accuracy is counted against `payload`. Error for anything else
// (the message starts "detect printed ...", without the method's name).
MethodReading ReadDetectionOutput(std::string_view output, std::span<const std::uint8_t> payload);

// For a program's handler of SIGINT, SIGTERM and SIGHUP: kills the process group of every
// command running now and removes the folders of the embeddings alive (the host's copy, the
// marked picture, the key); commands and folders are refused from then on. Async-signal-safe.
void StopMethodCommandsNow();

}  // namespace quillfen
QUILLFEN_API_END

#pragma once
// A report line of an operation, as the desktop program writes it into a status-bar panel
// and quillfen-cli prints it. The core builds the words; each front end shows the real
// number in its own way (the windows with the user's decimal separator).
#include <string>

#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

struct Report {
    int panel = 1;       // 0 progress, 1 the result, 2 a second result
    std::string text;    // the words, with any whole numbers: "Wr count =1234"
    std::string number;  // a real written with '.', after the text ("31.41593"); empty for none

    std::string Line() const { return text + number; }
    bool operator==(const Report&) const = default;
};

}  // namespace quillfen
QUILLFEN_API_END

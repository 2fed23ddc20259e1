#pragma once
// The polarity method's detection score and the relations it counted (marking.h explains
// the score). Apart from the marking so that a method's reading can carry it without the
// engine that computes it.
#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

struct DetectionScore {
    double Value = 0.0;
    int Reversed = 0;           // relations the marked region carries reversed
    int ReversedSeen = 0;       // ... that the suspect shows reversed
    int Untouched = 0;          // relations the marked region carries as the host had them
    int UntouchedReversed = 0;  // ... that the suspect shows reversed
};

}  // namespace quillfen
QUILLFEN_API_END

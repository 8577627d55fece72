// Reading the length of a Standard MIDI File ourselves: the synthesiser reports the end of a
// piece seconds after its last note, so the sequencer device decides on its own when a piece is
// over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace platform::mci {

// Seconds from the start of the piece to its last event (end-of-track included), following the
// tempo map, for formats 0, 1 and 2 with metrical or SMPTE time. Empty for anything that is not a
// well-formed file: wrong header, a chunk running past the end, a bad event.
std::optional<double> MidiLengthSeconds(const uint8_t* data, size_t size);

}  // namespace platform::mci

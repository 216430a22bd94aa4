#pragma once

#include "export/ExportTypes.h"
#include "export/GIFQuantizer.h"

#include <QString>

#include <functional>
#include <vector>

namespace mirelo {

// Writes animated GIF files: GIF89a, looping forever, one global colour
// table, a delay per frame. Each frame stores only the rectangle that changed,
// compressed in parallel whichever of the ways that decode alike is smallest
// (unchanged pixels transparent or as they are, a full code table started
// anew or kept, the fewest bits per code); when the frames show fewer colours
// than the palette holds, the table keeps only those, in fewer bits. The
// compressed frames are held (about the file's size) until the last one. Files go through a
// temporary file beside the destination, so a failure or cancellation leaves nothing behind and
// keeps a file already there. Returns std::nullopt on success, an error of kind noFrames,
// gifCreateFailed or gifWriteFailed, or a cancellation.
namespace GIFEncoder {

// Frames in palette indices, handed over in order by `frameAt(i)`, which may
// block until frame i is ready and returns nullptr to abandon the file
// (reported as a cancellation). A frame of another size than frame 0 is placed
// top-left on a white canvas of frame 0's size. `progress` is called after
// each frame written, with the frames written of the frame count. This is the
// writer behind Exporter::encodeGIF, which quantizes the frames first.
//
// With `lossy` above 0, a changed pixel may be written as another palette
// colour that lets the compressor match a longer string, no channel off by
// more than lossyErrorBound(lossy), but only when the next frame changes it
// again: a pixel that then stays still shows its exact colour, so still
// pixels show exactly what the frame before showed and errors never pile up
// from frame to frame. Each frame is kept lossy only when that is smaller
// than its exact encoding.
ExportStatus encodeStream(const GIFQuantizer::Palette& palette, int frameCount,
                          const std::function<const GIFQuantizer::IndexedFrame*(int)>& frameAt,
                          const std::vector<double>& delays, const QString& destination,
                          const CancelFlag& cancel = {}, const ProgressFn& progress = {},
                          int lossy = 0);

// The largest difference in any channel (0..255) that lossy compression of
// `strength` (0..100) allows a pixel: 0.4 levels per step, rounded.
int lossyErrorBound(int strength);

// Delays in hundredths of a second as written: each delay clamped to at least
// 0.02 s (not-a-number counts as 0), and each frame's rounding remainder
// carried into the next so that the running total never drifts from the sum
// of the delays by more than half a hundredth.
std::vector<int> delaysInHundredths(const std::vector<double>& delays);

}  // namespace GIFEncoder
}  // namespace mirelo

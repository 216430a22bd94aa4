#pragma once

class QIODevice;

namespace mirelo {

// A PNG chunk that claims more bytes than the file holds makes the PNG
// decoder reserve that much memory (gigabytes, from a file of a few hundred
// bytes) before it finds the file short. Such a file is broken and should be
// refused before decoding.
//
// Reads only the chunk headers of `device` from its start and leaves the
// device at the position it had. True for anything that is not a PNG (the
// decoder judges it) and for a PNG whose chunks, up to IEND, all fit.
bool pngChunksFit(QIODevice& device);

}  // namespace mirelo

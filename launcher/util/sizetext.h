#pragma once

#include <QString>

namespace vadok {

// A size as people read it: 1024-based, in B, KB, MB or GB, one decimal for KB and above
// ("35.5 MB"), whole bytes below 1 KB ("512 B"). A value that rounds up to 1024 of a unit
// is shown in the next one ("1.0 MB", never "1024.0 KB"); beyond GB it stays in GB.
QString sizeText(quint64 bytes);

} // namespace vadok

#pragma once

// Structural check of a BIFF5 or BIFF8 stream before FreeXL decodes it. FreeXL trusts the
// lengths written inside records: a text whose stated length runs past its record makes it read
// past its buffers, and a record shorter than its fixed fields makes it take stale bytes as
// cell values. This check refuses such streams so that FreeXL only decodes records that hold
// what they claim. Internal to the workbook codec.

#include <optional>
#include <QByteArray>
#include <QString>

namespace rxdeck::workbook::biff {

// Why the stream cannot be read safely, or nullopt when every record it checks is whole.
std::optional<QString> checkStream(const QByteArray& stream);

} // namespace rxdeck::workbook::biff

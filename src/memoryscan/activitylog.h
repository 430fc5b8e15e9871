// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "memoryscan/memoryscanner.h"

#include <QString>

namespace rxdeck::memoryscan {

// Activity.csv: one line per stop of the memory scan, appended as the stop ends,
// under the header time_utc,frequency_mhz,note,peak_dbm,seconds.
class ActivityLog
{
public:
    explicit ActivityLog(QString path) : path_(std::move(path)) {}

    // Appends the stop; false with the reason in `error` when the file cannot be written.
    bool append(const Stop& stop, QString* error = nullptr) const;

    const QString& path() const { return path_; }

    // One CSV line (without its line end) for the stop.
    static QString line(const Stop& stop);

private:
    QString path_;
};

} // namespace rxdeck::memoryscan

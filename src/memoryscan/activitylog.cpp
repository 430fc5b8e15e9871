// SPDX-License-Identifier: GPL-3.0-or-later
#include "memoryscan/activitylog.h"

#include <QFile>

namespace rxdeck::memoryscan {
namespace {

QString field(QString text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    return u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

} // namespace

QString ActivityLog::line(const Stop& stop)
{
    return QStringList{stop.startUtc.toString(Qt::ISODate), stop.frequencyMhz, field(stop.note),
                       QString::number(stop.peakDbm, 'f', 1), QString::number(stop.seconds, 'f', 1)}
        .join(u',');
}

bool ActivityLog::append(const Stop& stop, QString* error) const
{
    QFile file(path_);
    const bool fresh = !file.exists() || file.size() == 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QByteArray bytes;
    if (fresh)
        bytes += "time_utc,frequency_mhz,note,peak_dbm,seconds\n";
    bytes += line(stop).toUtf8() + '\n';
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace rxdeck::memoryscan

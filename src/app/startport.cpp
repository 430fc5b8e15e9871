// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startport.h"

#include "link/portmap.h"
#include "link/portselection.h"

#include <memory>
#include <QAction>
#include <QSettings>

namespace rxdeck {
namespace {

const QString key = QStringLiteral("serialPort/openAtStart");

// ~/.config/Rxdeck/Rxdeck.conf on Linux.
std::unique_ptr<QSettings> settings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Rxdeck"), QStringLiteral("Rxdeck"));
}

} // namespace

StartPort::StartPort(QAction& item, PortSelection& selection, QObject* parent) : QObject(parent)
{
    item.setChecked(remembered().has_value());
    connect(&item, &QAction::toggled, this, &StartPort::onToggled);
    connect(&selection, &PortSelection::opened, this, [this, &item](int n) {
        open_ = n;
        if (item.isChecked())
            onOpened(n);
    });
}

std::optional<int> StartPort::remembered()
{
    bool valid = false;
    const int n = settings()->value(key).toInt(&valid);
    return valid && n >= 1 && n <= commPortCount ? std::optional<int>(n) : std::nullopt;
}

void StartPort::onToggled(bool checked)
{
    if (!checked)
        settings()->remove(key);
    else if (open_ != 0)
        onOpened(open_);
}

void StartPort::onOpened(int n)
{
    settings()->setValue(key, n);
}

} // namespace rxdeck

#pragma once

#include <QObject>

namespace rxdeck {

class SerialPort;
struct Controls;

// The "Serial port" menu: choosing "Comm n" opens port n, marks its item, sends the
// settings query and starts the settings snapshot.
class PortSelection : public QObject
{
    Q_OBJECT
public:
    PortSelection(Controls& ui, SerialPort& port, QObject* parent = nullptr);

    // `Comm1_Click` … `Comm4_Click`: the four items differ only in n.
    void Comm_Click(int n);

signals:
    // Port n could not be opened; the window shows its warning.
    void portNotAvailable();

private:
    Controls& ui_;
    SerialPort& port_;
};

} // namespace rxdeck
